// Range filter nodes: VADFilterElementInt (32-bit bounds) and
// VADFilterElementTimestamp (64-bit bounds).
//
// Fields: field id, lower and upper bound, and whether each bound is
// inclusive. Int fields: 0 "local-rating", 1 "author", 2 "version".
// Timestamp fields: 0 "installation-timestamp", 1 "modification-timestamp".
// Other ids name "unknown".
//
// Text: "[" or "(" for the lower bound (inclusive or not), "lo,hi" in
// signed decimal, then "]" or ")" — bounds 3 and 7, lower inclusive, give
// [3,7). A timestamp prints the low 32 bits of each bound.
//
// Body on the wire: u32 field id; lower and upper bound (i32 for Int, i64
// for Timestamp); u8 lower inclusive; u8 upper inclusive.
//
// Equality: as for every element (field name and text); two timestamp
// elements must also have equal 64-bit bounds, since their text shows only
// the low 32 bits and would make different times look equal.
#pragma once

#include <cstdint>

#include "assetdb/protocol/VADFilterElement.h"

class VADFilterElementInt : public VADFilterElement {
 public:
  static constexpr uint32_t kLocalRating = 0;
  static constexpr uint32_t kAuthor = 1;
  static constexpr uint32_t kVersion = 2;

  VADFilterElementInt(uint32_t fieldId, int32_t lower, int32_t upper, bool lowerInclusive,
                      bool upperInclusive)
      : fieldId_(fieldId),
        lower_(lower),
        upper_(upper),
        lowerInclusive_(lowerInclusive),
        upperInclusive_(upperInclusive) {}
  ~VADFilterElementInt() override = default;

  Kiv::PString GetFieldName() const override;
  Kiv::PString GetValueText() const override;
  uint32_t GetTypeCode() const override { return kFilterTypeInt; }
  bool Write(TStream& stream) const override;
  bool Read(TStream& stream) override;

 private:
  uint32_t fieldId_;
  int32_t lower_;
  int32_t upper_;
  bool lowerInclusive_;
  bool upperInclusive_;
};

class VADFilterElementTimestamp : public VADFilterElement {
 public:
  static constexpr uint32_t kInstallation = 0;
  static constexpr uint32_t kModification = 1;

  VADFilterElementTimestamp(uint32_t fieldId, int64_t lower, int64_t upper, bool lowerInclusive,
                            bool upperInclusive)
      : fieldId_(fieldId),
        lower_(lower),
        upper_(upper),
        lowerInclusive_(lowerInclusive),
        upperInclusive_(upperInclusive) {}
  ~VADFilterElementTimestamp() override = default;

  int64_t GetLower() const { return lower_; }
  int64_t GetUpper() const { return upper_; }

  Kiv::PString GetFieldName() const override;
  Kiv::PString GetValueText() const override;
  uint32_t GetTypeCode() const override { return kFilterTypeTimestamp; }
  bool Write(TStream& stream) const override;
  bool Read(TStream& stream) override;
  bool Equals(const VADFilterElement& other) const override;

 private:
  uint32_t fieldId_;
  int64_t lower_;
  int64_t upper_;
  bool lowerInclusive_;
  bool upperInclusive_;
};
