// PropertyRef: a counted reference to a property (foundation/VandruProperty.h),
// or null; and the stream form of such a reference.
//
// Taking a reference calls the property's AddReference; giving it back calls
// its ReleaseReference (which deletes a counted property at its last
// reference). FromPointer takes a reference on a raw property pointer, so
//   PropertyRef ref = PropertyRef::FromPointer(new VandruPropertyAssetID(...));
// leaves the new property with exactly one reference, held by `ref`.
// Assignment takes the new reference before it gives the old one back, so
// assigning a reference to itself is safe. Moving passes the reference on.
//
// Stream form (little-endian):
//   u32     kind: 0 for a null reference, else the property's kind
//   string  only when kind is not 0: the name, as TStream::WritePString
//   string  only when kind is not 0: the value text (GetValueText), the same
// ReadPropertyRef first gives back what the reference held. Kind 8 becomes
// a new VandruPropertyAssetID with the name and the KUID parsed
// (non-strictly) from the value text. Any other non-zero kind has its two
// strings consumed and reads as null, so the next field is read at the right
// place. Failure: a short read of the kind records kErrorShortRead (4) on the
// stream; whenever the stream holds an error after the read, the reference
// stays null (a property is never made from a truncated record).
//
// A PropertyRef belongs to one thread at a time, as any value does.
#pragma once

#include <utility>

#include "foundation/soup/VandruProperty.h"
#include "kiv/PString.h"

class TStream;

class PropertyRef {
 public:
  PropertyRef() = default;
  static PropertyRef FromPointer(VandruProperty* property);
  PropertyRef(const PropertyRef& other) : property_(other.property_) { Take(property_); }
  PropertyRef(PropertyRef&& other) noexcept : property_(std::exchange(other.property_, nullptr)) {}
  PropertyRef& operator=(const PropertyRef& other);
  PropertyRef& operator=(PropertyRef&& other) noexcept;
  ~PropertyRef() { Release(); }

  // Gives the reference back; the PropertyRef becomes null.
  void Release();

  VandruProperty* Get() const { return property_; }
  VandruProperty* operator->() const { return property_; }
  bool IsNull() const { return property_ == nullptr; }

  // `out` receives the value text of the property, or the empty text for a
  // null reference.
  void ToPString(Kiv::PString& out) const;

 private:
  static void Take(VandruProperty* property) {
    if (property != nullptr) property->AddReference();
  }

  VandruProperty* property_ = nullptr;
};

void WritePropertyRef(TStream& stream, const PropertyRef& ref);
void ReadPropertyRef(TStream& stream, PropertyRef& ref);
