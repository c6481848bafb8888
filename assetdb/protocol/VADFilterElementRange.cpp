#include "assetdb/protocol/VADFilterElementRange.h"

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/String.h"

namespace {

Kiv::PString RangeText(int32_t lower, int32_t upper, bool lowerInclusive, bool upperInclusive) {
  return Kiv::PString(Kiv::StringPrintf("%c%d,%d%c", lowerInclusive ? '[' : '(', lower, upper,
                                        upperInclusive ? ']' : ')'));
}

void WriteFlags(TStream& stream, bool lowerInclusive, bool upperInclusive) {
  TStreamWriteBool(stream, lowerInclusive);
  TStreamWriteBool(stream, upperInclusive);
}

void ReadFlags(TStream& stream, bool& lowerInclusive, bool& upperInclusive) {
  TStreamReadBool(stream, lowerInclusive, false);
  TStreamReadBool(stream, upperInclusive, false);
}

int32_t Low32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

}  // namespace

Kiv::PString VADFilterElementInt::GetFieldName() const {
  static const Kiv::PString kNames[] = {Kiv::PString("local-rating"), Kiv::PString("author"),
                                        Kiv::PString("version")};
  if (fieldId_ < 3) return kNames[fieldId_];
  return UnknownFilterFieldName();
}

Kiv::PString VADFilterElementInt::GetValueText() const {
  return RangeText(lower_, upper_, lowerInclusive_, upperInclusive_);
}

bool VADFilterElementInt::Write(TStream& stream) const {
  TStreamWriteU32(stream, fieldId_);
  TStreamWriteU32(stream, static_cast<uint32_t>(lower_));
  TStreamWriteU32(stream, static_cast<uint32_t>(upper_));
  WriteFlags(stream, lowerInclusive_, upperInclusive_);
  return true;
}

bool VADFilterElementInt::Read(TStream& stream) {
  uint32_t lower = 0;
  uint32_t upper = 0;
  TStreamReadU32(stream, fieldId_, 0);
  TStreamReadU32(stream, lower, 0);
  TStreamReadU32(stream, upper, 0);
  lower_ = static_cast<int32_t>(lower);
  upper_ = static_cast<int32_t>(upper);
  ReadFlags(stream, lowerInclusive_, upperInclusive_);
  return true;
}

Kiv::PString VADFilterElementTimestamp::GetFieldName() const {
  static const Kiv::PString kNames[] = {Kiv::PString("installation-timestamp"),
                                        Kiv::PString("modification-timestamp")};
  if (fieldId_ < 2) return kNames[fieldId_];
  return UnknownFilterFieldName();
}

Kiv::PString VADFilterElementTimestamp::GetValueText() const {
  return RangeText(Low32(lower_), Low32(upper_), lowerInclusive_, upperInclusive_);
}

bool VADFilterElementTimestamp::Write(TStream& stream) const {
  TStreamWriteU32(stream, fieldId_);
  TStreamWriteU64(stream, static_cast<uint64_t>(lower_));
  TStreamWriteU64(stream, static_cast<uint64_t>(upper_));
  WriteFlags(stream, lowerInclusive_, upperInclusive_);
  return true;
}

bool VADFilterElementTimestamp::Read(TStream& stream) {
  uint64_t lower = 0;
  uint64_t upper = 0;
  TStreamReadU32(stream, fieldId_, 0);
  TStreamReadU64(stream, lower, 0);
  TStreamReadU64(stream, upper, 0);
  lower_ = static_cast<int64_t>(lower);
  upper_ = static_cast<int64_t>(upper);
  ReadFlags(stream, lowerInclusive_, upperInclusive_);
  return true;
}

bool VADFilterElementTimestamp::Equals(const VADFilterElement& other) const {
  if (!VADFilterElement::Equals(other)) return false;
  const auto* timestamp = dynamic_cast<const VADFilterElementTimestamp*>(&other);
  return !timestamp || (timestamp->lower_ == lower_ && timestamp->upper_ == upper_);
}
