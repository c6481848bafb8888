// SpecRef: a counted handle to an asset spec (foundation/BrindlemoxSpec.h).
//
// A handle holds one use of its spec (`useCount`). Making one from a
// pointer, copying and Assign add a use to the new spec before the old one
// is let go, so assigning a handle to itself or to the same spec never lets
// the count touch 0. Release (also on destruction and on assignment) first
// writes the current release stamp into the spec's `releaseStamp` and then
// takes its use away; after that the handle never touches the spec again,
// because the spec registry may free it from then on.
//
// A handle never frees its spec: the registry does, once no handle holds
// it. Handles may be copied and released on any thread without the
// registry's lock (the count is atomic); one handle object is not
// thread-safe, as for any value. A handle must come from a spec that is
// alive: from the registry (CreateSpec, Find) or from another handle.
#pragma once

#include <cstddef>
#include <utility>

#include "foundation/spec/BrindlemoxSpec.h"

class SpecRef {
 public:
  SpecRef() = default;
  SpecRef(std::nullptr_t) {}  // A null handle converts implicitly.
  explicit SpecRef(BrindlemoxSpec* spec) { Assign(spec); }
  SpecRef(const SpecRef& other) { Assign(other.spec_); }
  SpecRef(SpecRef&& other) noexcept : spec_(std::exchange(other.spec_, nullptr)) {}
  SpecRef& operator=(const SpecRef& other) {
    Assign(other.spec_);
    return *this;
  }
  SpecRef& operator=(SpecRef&& other) noexcept;
  ~SpecRef() { Release(); }

  // Holds `spec` (null for none), adding its use before the old one goes.
  void Assign(BrindlemoxSpec* spec);
  // Lets the spec go; the handle becomes null.
  void Release();

  BrindlemoxSpec* Get() const { return spec_; }
  BrindlemoxSpec* operator->() const { return spec_; }
  BrindlemoxSpec& operator*() const { return *spec_; }
  explicit operator bool() const { return spec_ != nullptr; }
  bool operator==(const SpecRef& other) const { return spec_ == other.spec_; }

 private:
  BrindlemoxSpec* spec_ = nullptr;
};
