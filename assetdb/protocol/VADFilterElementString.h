// VADFilterElementString: a filter node that tests a text field.
//
// Fields: field id (0 "asset-name", 1 "category-list", 2 "era-list",
// 3 "keyword-list", 4 "region-list"; other ids name "unknown"), the value
// (interned) and `exact`. Built on "asset-name" from a value of at least two
// characters that starts and ends with '"', `exact` is set and both quotes
// are dropped from the stored value; no other field is treated this way.
//
// Body on the wire: u32 field id; the value as a stream string (length
// with its NUL, then the bytes; 0 for the empty value); u8 exact.
//
// Text: the value with '\' doubled, '(' and ')' preceded by '\', and each
// byte below 32 written as '\' followed by the byte plus 64; other bytes
// (those of 128 and above too) as they are. So a(b)\c gives a\(b\)\\c.
//
// Equality: as for every element (field name and text), and, when the other
// is a string element too, the same `exact`: an exact name test and a
// substring test on one text select different assets.
#pragma once

#include <cstdint>

#include "assetdb/protocol/VADFilterElement.h"

class VADFilterElementString : public VADFilterElement {
 public:
  static constexpr uint32_t kAssetName = 0;
  static constexpr uint32_t kCategoryList = 1;
  static constexpr uint32_t kEraList = 2;
  static constexpr uint32_t kKeywordList = 3;
  static constexpr uint32_t kRegionList = 4;

  VADFilterElementString(uint32_t fieldId, const Kiv::PString& value);
  ~VADFilterElementString() override = default;

  uint32_t GetFieldId() const { return fieldId_; }
  const Kiv::PString& GetValue() const { return value_; }
  bool IsExact() const { return exact_; }

  Kiv::PString GetFieldName() const override;
  Kiv::PString GetValueText() const override;
  uint32_t GetTypeCode() const override { return kFilterTypeString; }
  bool Write(TStream& stream) const override;
  bool Read(TStream& stream) override;
  bool Equals(const VADFilterElement& other) const override;

 private:
  uint32_t fieldId_;
  Kiv::PString value_;
  bool exact_ = false;
};
