#include "foundation/spec/SpecRef.h"

SpecRef& SpecRef::operator=(SpecRef&& other) noexcept {
  if (this == &other) return *this;
  Release();
  spec_ = std::exchange(other.spec_, nullptr);
  return *this;
}

void SpecRef::Assign(BrindlemoxSpec* spec) {
  if (spec) spec->useCount.Increment();
  Release();
  spec_ = spec;
}

void SpecRef::Release() {
  BrindlemoxSpec* spec = std::exchange(spec_, nullptr);
  if (!spec) return;
  // The stamp is written while this use still keeps the spec alive.
  spec->releaseStamp.store(SpecReleaseStamp(), std::memory_order_relaxed);
  spec->useCount.Decrement();
}
