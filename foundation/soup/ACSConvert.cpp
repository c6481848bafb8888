#include "foundation/soup/ACSConvert.h"

#include <utility>

namespace {

// The process-wide converter list; constant-initialised, so converters made
// during static initialisation find it ready.
constinit ACSConverter* gHead = nullptr;
constinit ACSConverter* gTail = nullptr;

CoreRef RunConverter(const ACSConverter& converter, CoreRef core) {
  CoreRef out;
  converter.Convert(std::move(core), out);
  return out;
}

}  // namespace

ACSConverter::ACSConverter(uint32_t sourceType, uint32_t targetType)
    : next_(gHead), sourceType_(sourceType), targetType_(targetType) {
  if (gHead != nullptr) gHead->prev_ = this;
  if (gTail == nullptr) gTail = this;
  gHead = this;
}

ACSConverter::~ACSConverter() {
  if (prev_ != nullptr) prev_->next_ = next_;
  if (prev_ == nullptr) gHead = next_;
  if (next_ != nullptr) next_->prev_ = prev_;
  if (next_ == nullptr) gTail = prev_;
}

ACSConverter* ACSConverter::First() {
  return gHead;
}

CoreRef ACSConvert(uint32_t fromType, CoreRef core, uint32_t toType) {
  if (fromType == toType) return core;
  if (fromType == 0) return CoreRef();
  EnsureSoupConverters();
  for (const ACSConverter* c = ACSConverter::First(); c != nullptr; c = c->Next()) {
    if (c->SourceType() == fromType && c->TargetType() == toType) {
      return RunConverter(*c, std::move(core));
    }
  }
  for (const ACSConverter* first = ACSConverter::First(); first != nullptr; first = first->Next()) {
    if (first->SourceType() != fromType) continue;
    for (const ACSConverter* second = ACSConverter::First(); second != nullptr;
         second = second->Next()) {
      if (second->SourceType() != first->TargetType() || second->TargetType() != toType) continue;
      return RunConverter(*second, RunConverter(*first, std::move(core)));
    }
  }
  return CoreRef();
}
