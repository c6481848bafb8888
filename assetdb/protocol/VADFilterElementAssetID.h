// VADFilterElementAssetID: a filter node that names a set of assets.
//
// Fields: field id (0 "asset-id", 1 "profile-map"; other ids name
// "unknown") and a set of KUIDs without duplicates, ordered by user id,
// then content id, then version, each compared as an unsigned 32-bit word.
//
// Text: each KUID in its tag form ("<kuid:U:C>" / "<kuid2:U:C:V>"), in set
// order, separated by ", ".
//
// Body on the wire: u32 field id; u32 count; the KUIDs in stream form (8
// bytes each), in set order. Reading empties the set, reads the count and
// inserts each KUID read. The count is not trusted: reading stops at the
// first KUID the stream cannot supply whole (the stream's error code is
// then 4), so a damaged count never loops or allocates beyond the bytes
// that are there.
#pragma once

#include <cstdint>
#include <set>

#include "assetdb/protocol/VADFilterElement.h"
#include "foundation/text/KUID.h"

struct KUIDUnsignedLess {
  bool operator()(const KUID& a, const KUID& b) const;
};

class VADFilterElementAssetID : public VADFilterElement {
 public:
  static constexpr uint32_t kAssetId = 0;
  static constexpr uint32_t kProfileMap = 1;

  explicit VADFilterElementAssetID(uint32_t fieldId) : fieldId_(fieldId) {}
  ~VADFilterElementAssetID() override = default;

  void Insert(const KUID& kuid) { kuids_.insert(kuid); }
  const std::set<KUID, KUIDUnsignedLess>& GetKUIDs() const { return kuids_; }

  Kiv::PString GetFieldName() const override;
  Kiv::PString GetValueText() const override;
  uint32_t GetTypeCode() const override { return kFilterTypeAssetID; }
  bool Write(TStream& stream) const override;
  bool Read(TStream& stream) override;

 private:
  uint32_t fieldId_;
  std::set<KUID, KUIDUnsignedLess> kuids_;
};
