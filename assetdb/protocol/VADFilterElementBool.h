// VADFilterElementBool: a filter node that tests one of the daemon's
// per-asset flags.
//
// Field: the flag id, 0..21 (names below; other ids name "unknown"). The
// element carries no value: its text is always "true", so two flag elements
// are equal when they name the same flag.
//
// Body on the wire: u32 flag id.
#pragma once

#include <cstdint>

#include "assetdb/protocol/VADFilterElement.h"

class VADFilterElementBool : public VADFilterElement {
 public:
  static constexpr uint32_t kLocal = 0;
  static constexpr uint32_t kFetchery = 1;
  static constexpr uint32_t kLocationUnknown = 2;
  static constexpr uint32_t kLocallyAvailable = 3;
  static constexpr uint32_t kUpToDate = 4;
  static constexpr uint32_t kObsolete = 5;
  static constexpr uint32_t kLocallyModified = 6;
  static constexpr uint32_t kValidName = 7;
  static constexpr uint32_t kOpenForEdit = 8;
  static constexpr uint32_t kInArchive = 9;
  static constexpr uint32_t kLocallyEnabled = 10;
  static constexpr uint32_t kHasMissingDependencies = 11;
  static constexpr uint32_t kHasFaultyDependencies = 12;
  static constexpr uint32_t kFaulty = 13;
  static constexpr uint32_t kFromTintgarth = 14;
  static constexpr uint32_t kBuiltin = 15;
  static constexpr uint32_t kListingPrivilege = 16;
  static constexpr uint32_t kCommitPrivilege = 17;
  static constexpr uint32_t kWarnings = 18;
  static constexpr uint32_t kHasScriptSource = 19;
  static constexpr uint32_t kCompatible = 20;
  static constexpr uint32_t kInBaseContentSet = 21;
  static constexpr uint32_t kFlagCount = 22;

  explicit VADFilterElementBool(uint32_t flagId) : flagId_(flagId) {}
  ~VADFilterElementBool() override = default;

  uint32_t GetFlagId() const { return flagId_; }

  Kiv::PString GetFieldName() const override;
  Kiv::PString GetValueText() const override;
  uint32_t GetTypeCode() const override { return kFilterTypeBool; }
  bool Write(TStream& stream) const override;
  bool Read(TStream& stream) override;

 private:
  uint32_t flagId_;
};
