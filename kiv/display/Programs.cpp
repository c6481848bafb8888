#include "kiv/display/Programs.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include "kiv/display/Display.h"

namespace Kiv {

namespace {

struct Registry {
  std::mutex lock;
  std::map<std::string, std::string, std::less<>> texts;

  void Put(const PString& name, std::string_view text) {
    std::lock_guard<std::mutex> hold(lock);
    texts[name.Str()] = std::string(text);
  }
  std::string Get(const PString& name) {
    std::lock_guard<std::mutex> hold(lock);
    const auto found = texts.find(name.View());
    return found == texts.end() ? std::string() : found->second;
  }
};

Registry& VertexTexts() {
  static Registry* registry = new Registry;
  return *registry;
}
Registry& PixelTexts() {
  static Registry* registry = new Registry;
  return *registry;
}

// True when `text` has a line whose words begin "program <name> :".
bool DeclaresProgram(std::string_view text, std::string_view name) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    line.remove_prefix(first);
    if (line.substr(0, 8) != "program ") continue;
    line.remove_prefix(8);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view declared = line.substr(0, colon);
    while (!declared.empty() && (declared.back() == ' ' || declared.back() == '\t'))
      declared.remove_suffix(1);
    if (declared == name) return true;
  }
  return false;
}

}  // namespace

void VertexProgram::SetLocalConstant(uint32_t index, const Vector4& value) {
  locals_[index] = value;
  display_->RecordLine("VertexConstant %s %u %g %g %g %g", name_.c_str(), index, double(value[0]),
                       double(value[1]), double(value[2]), double(value[3]));
}

Vector4 VertexProgram::GetLocalConstant(uint32_t index) const {
  const auto found = locals_.find(index);
  return found == locals_.end() ? Vector4{} : found->second;
}

void TextureCombiner::SetConstant(uint32_t reg, const Vector4& value) {
  registers_[reg] = value;
  display_->RecordLine("PixelConstant %s %u %g %g %g %g", name_.c_str(), reg, double(value[0]),
                       double(value[1]), double(value[2]), double(value[3]));
}

Vector4 TextureCombiner::GetConstant(uint32_t reg) const {
  const auto found = registers_.find(reg);
  return found == registers_.end() ? Vector4{} : found->second;
}

std::map<uint32_t, Vector4> ParseCombinerRegisters(std::string_view text,
                                                   std::map<uint32_t, std::string>* names) {
  std::map<uint32_t, Vector4> registers;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string line(text.substr(at, end - at));
    at = end + 1;
    unsigned number = 0;
    char name[64] = {};
    Vector4 value{};
    if (std::sscanf(line.c_str(), " reg %u (%63[^)]) - %f , %f , %f , %f ;", &number, name,
                    &value[0], &value[1], &value[2], &value[3]) != 6)
      continue;
    registers[number] = value;
    if (names != nullptr) (*names)[number] = name;
  }
  return registers;
}

void VertexProgramManager::RegisterBuiltInPrograms(const PString& set, std::string_view text) {
  VertexTexts().Put(set, text);
}

std::string VertexProgramManager::GetBuiltInText(const PString& set) {
  return VertexTexts().Get(set);
}

VertexProgram* VertexProgramManager::CreateVertexProgram(const PString& set, const PString& name,
                                                         RenderKernel* /*kernel*/,
                                                         uint32_t /*type*/, uint32_t /*flags*/) {
  if (failing_.count(name.View()) != 0) return nullptr;
  if (!DeclaresProgram(GetBuiltInText(set), name.View())) return nullptr;
  auto* program = new (std::nothrow) VertexProgram(display_, set, name);
  if (program == nullptr) return nullptr;
  ++created_;
  display_->RecordLine("CreateProgram %s", name.c_str());
  return program;
}

void TextureCombinerManager::RegisterBuiltInPrograms(const PString& name, std::string_view text) {
  PixelTexts().Put(name, text);
}

std::string TextureCombinerManager::GetBuiltInText(const PString& name) {
  return PixelTexts().Get(name);
}

TextureCombiner* TextureCombinerManager::CreateTextureCombiner(const PString& name,
                                                               RenderKernel* /*kernel*/,
                                                               uint32_t /*flags*/) {
  if (failing_.count(name.View()) != 0) return nullptr;
  const std::string text = GetBuiltInText(name);
  if (text.empty()) return nullptr;
  auto* combiner =
      new (std::nothrow) TextureCombiner(display_, name, ParseCombinerRegisters(text, nullptr));
  if (combiner == nullptr) return nullptr;
  ++created_;
  display_->RecordLine("CreateProgram %s", name.c_str());
  return combiner;
}

}  // namespace Kiv
