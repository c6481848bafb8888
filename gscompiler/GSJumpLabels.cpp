#include "gscompiler/GSJumpLabels.h"

#include <new>

namespace GSCompiler {

int GSJumpLabels::NewLabel() {
  try {
    labels_.push_back(Label{false, 0});
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return static_cast<int>(labels_.size() - 1);
}

int GSJumpLabels::LabelForName(const char* name) {
  if (name == nullptr) return -1;
  try {
    auto found = names_.find(name);
    if (found != names_.end()) return found->second;
    const int id = NewLabel();
    if (id < 0) return -1;
    names_.emplace(name, id);
    return id;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

bool GSJumpLabels::DefineLabel(int id, uint32_t offset) {
  if (id < 0 || static_cast<size_t>(id) >= labels_.size()) return false;
  Label& label = labels_[static_cast<size_t>(id)];
  if (label.defined) return false;
  label.defined = true;
  label.offset = offset;
  return true;
}

bool GSJumpLabels::AddFixup(uint32_t position, int id, const char* text, int line) {
  try {
    fixups_.push_back(Fixup{id, position, text, line});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool GSJumpLabels::IsDefined(int id) const {
  return id >= 0 && static_cast<size_t>(id) < labels_.size() &&
         labels_[static_cast<size_t>(id)].defined;
}

uint32_t GSJumpLabels::Offset(int id) const {
  return IsDefined(id) ? labels_[static_cast<size_t>(id)].offset : 0;
}

uint32_t GSJumpLabels::ResolveFixups(GSCodeBuffer& code, CompileDiagnostics* diagnostics) {
  uint32_t unresolved = 0;
  for (const Fixup& f : fixups_) {
    if (f.id < 0 || static_cast<size_t>(f.id) >= labels_.size()) continue;
    const Label& label = labels_[static_cast<size_t>(f.id)];
    if (label.defined) {
      code.PatchU32(f.position, label.offset);
      continue;
    }
    ++unresolved;
    GSCompilerReport(diagnostics, true, false, f.line, "%s, line %d", f.text ? f.text : "", f.line);
  }
  code.SeekEnd();
  return unresolved;
}

void GSJumpLabels::Reset() {
  labels_.clear();
  names_.clear();
  fixups_.clear();
}

}  // namespace GSCompiler
