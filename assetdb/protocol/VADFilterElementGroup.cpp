#include "assetdb/protocol/VADFilterElementGroup.h"

#include <new>

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

// Nesting of group reads on this thread.
thread_local uint32_t readDepth = 0;

struct DepthGuard {
  DepthGuard() { ++readDepth; }
  ~DepthGuard() { --readDepth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
};

}  // namespace

VADFilterElementGroup::VADFilterElementGroup(std::unique_ptr<VADFilterElement> child) {
  Add(std::move(child));
}

void VADFilterElementGroup::Add(std::unique_ptr<VADFilterElement> element) {
  if (element) children_.push_back(std::move(element));
}

const VADFilterElement* VADFilterElementGroup::GetChild(uint32_t index) const {
  return index < children_.size() ? children_[index].get() : nullptr;
}

Kiv::PString VADFilterElementGroup::GetFieldName() const {
  static const Kiv::PString kGroup("group");
  return kGroup;
}

Kiv::PString VADFilterElementGroup::GetValueText() const {
  Kiv::String text;
  for (const auto& child : children_) {
    if (!text.empty()) text += ", ";
    text += child->GetFieldName().View();
    text += ":(";
    text += child->GetValueText().View();
    text += ")";
  }
  return Kiv::PString(text);
}

bool VADFilterElementGroup::Write(TStream& stream) const {
  TStreamWriteU8(stream, matchAll_ ? 1 : 0);
  TStreamWriteU8(stream, negate_ ? 1 : 0);
  TStreamWriteU32(stream, static_cast<uint32_t>(children_.size()));
  for (const auto& child : children_) {
    if (!WriteFilterElement(stream, child.get())) return false;
  }
  return true;
}

bool VADFilterElementGroup::Read(TStream& stream) {
  TStreamReadBool(stream, matchAll_, false);
  TStreamReadBool(stream, negate_, false);
  children_.clear();
  if (readDepth >= kMaxFilterDepth) return false;
  DepthGuard guard;
  try {
    return ReadChildren(stream);
  } catch (const std::bad_alloc&) {
    stream.SetError(TStream::kErrorSize);
    return false;
  }
}

bool VADFilterElementGroup::ReadChildren(TStream& stream) {
  uint32_t count = 0;
  if (!TStreamReadU32(stream, count, 0)) return true;
  if (count > kMaxFilterChildren) return false;
  for (uint32_t i = 0; i < count; ++i) {
    std::unique_ptr<VADFilterElement> child = ReadFilterElement(stream);
    if (!child) return false;
    children_.push_back(std::move(child));
  }
  return true;
}

bool VADFilterElementGroup::Equals(const VADFilterElement& other) const {
  const auto* group = dynamic_cast<const VADFilterElementGroup*>(&other);
  if (!group) return false;
  if (group->children_.size() != children_.size()) return false;
  if (group->negate_ != negate_ || group->matchAll_ != matchAll_) return false;
  for (size_t i = 0; i < children_.size(); ++i) {
    if (!FilterElementsEqual(children_[i].get(), group->children_[i].get())) return false;
  }
  return true;
}

void MakeFilterGroup(VADFilterElementGroup& parent, std::unique_ptr<VADFilterElement> child,
                     bool negate) {
  auto group = std::make_unique<VADFilterElementGroup>(std::move(child));
  group->SetNegate(negate);
  parent.Add(std::move(group));
}
