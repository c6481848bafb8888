// Properties: named values that travel with result messages (in practice
// the subject of a message, an asset's KUID under the name "AssetID").
//
// Class chain: IdentifiableType <- VandruProperty <- VandruPropertyRefCounted
// <- VandruPropertyAssetID.
//
// VandruProperty holds the name and the kind (8, the kind of an asset-id
// property, the only kind this system makes). Its value operations do
// nothing and give the empty text; its ReleaseReference does nothing, so a
// plain VandruProperty is owned by whoever made it.
//
// VandruPropertyRefCounted adds the engine's reference count
// (Kiv::ReferenceCount): a new object belongs to nobody (count 0); each
// AddReference takes one reference and the ReleaseReference that gives the
// last one back deletes the object. Such objects live on the heap and are
// held through PropertyRef (foundation/PropertyRef.h).
//
// VandruPropertyAssetID holds a KUID. Its value text is the KUID's tag text
// ("<kuid:123:456>", "<NULL>"); setting the text parses it non-strictly, so
// text that is not a KUID gives the null KUID.
//
// Properties are not copyable. Counting is thread-safe; the name and value
// are not locked.
#pragma once

#include <cstdint>

#include "foundation/base/IdentifiableType.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"

class VandruProperty : public IdentifiableType {
 public:
  // The kind of an asset-id property.
  static constexpr uint32_t kKindAssetID = 8;

  explicit VandruProperty(const Kiv::PString& name) : name_(name) {}
  VandruProperty(const VandruProperty&) = delete;
  VandruProperty& operator=(const VandruProperty&) = delete;
  ~VandruProperty() override = default;

  const Kiv::PString& GetName() const { return name_; }
  uint32_t GetKind() const { return kind_; }

  virtual void SetValueText(const Kiv::PString& text);
  // `out` receives the value as text (the empty text here).
  virtual void GetValueText(Kiv::PString& out) const;
  virtual void AddReference() = 0;
  virtual void ReleaseReference();

 private:
  Kiv::PString name_;
  uint32_t kind_ = kKindAssetID;
};

class VandruPropertyRefCounted : public VandruProperty, public Kiv::ReferenceCount {
 public:
  explicit VandruPropertyRefCounted(const Kiv::PString& name) : VandruProperty(name) {}

  void AddReference() override { Kiv::ReferenceCount::AddReference(); }
  // Deletes the property when this was the last reference.
  void ReleaseReference() override { Kiv::ReferenceCount::ReleaseReference(); }
};

class VandruPropertyAssetID : public VandruPropertyRefCounted {
 public:
  VandruPropertyAssetID(const Kiv::PString& name, const KUID& asset)
      : VandruPropertyRefCounted(name), asset_(asset) {}

  const KUID& GetAsset() const { return asset_; }

  void SetValueText(const Kiv::PString& text) override;
  void GetValueText(Kiv::PString& out) const override;

 private:
  KUID asset_;
};
