#include "assetdb/protocol/VADFilterElementString.h"

#include <string_view>

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/TruncatePString.h"

VADFilterElementString::VADFilterElementString(uint32_t fieldId, const Kiv::PString& value)
    : fieldId_(fieldId), value_(value) {
  if (fieldId_ != kAssetName) return;
  const std::string_view text = value_.View();
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return;
  exact_ = true;
  value_ = Kiv::PString(text.substr(1));
  TruncatePString(value_, value_.Length() - 1);
}

Kiv::PString VADFilterElementString::GetFieldName() const {
  static const Kiv::PString kNames[] = {Kiv::PString("asset-name"), Kiv::PString("category-list"),
                                        Kiv::PString("era-list"), Kiv::PString("keyword-list"),
                                        Kiv::PString("region-list")};
  if (fieldId_ < sizeof(kNames) / sizeof(kNames[0])) return kNames[fieldId_];
  return UnknownFilterFieldName();
}

Kiv::PString VADFilterElementString::GetValueText() const {
  Kiv::String text;
  for (const char c : value_.View()) {
    const uint8_t byte = static_cast<uint8_t>(c);
    if (c == '\\' || c == '(' || c == ')') {
      text += '\\';
      text += c;
    } else if (byte < 32) {
      text += '\\';
      text += static_cast<char>(byte + 64);
    } else {
      text += c;
    }
  }
  return Kiv::PString(text);
}

bool VADFilterElementString::Write(TStream& stream) const {
  TStreamWriteU32(stream, fieldId_);
  stream.WritePString(value_);
  TStreamWriteBool(stream, exact_);
  return true;
}

bool VADFilterElementString::Read(TStream& stream) {
  TStreamReadU32(stream, fieldId_, 0);
  stream.ReadPString(value_);
  TStreamReadBool(stream, exact_, false);
  return true;
}

bool VADFilterElementString::Equals(const VADFilterElement& other) const {
  if (!VADFilterElement::Equals(other)) return false;
  const auto* string = dynamic_cast<const VADFilterElementString*>(&other);
  return !string || string->exact_ == exact_;
}
