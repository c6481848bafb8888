#include "assetdb/protocol/VADFilterElementAssetID.h"

#include <new>
#include <tuple>

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

uint32_t LittleEndianWord(const uint8_t* b) {
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

}  // namespace

bool KUIDUnsignedLess::operator()(const KUID& a, const KUID& b) const {
  return std::make_tuple(uint32_t(a.userId), uint32_t(a.contentId), uint32_t(a.version)) <
         std::make_tuple(uint32_t(b.userId), uint32_t(b.contentId), uint32_t(b.version));
}

Kiv::PString VADFilterElementAssetID::GetFieldName() const {
  static const Kiv::PString kNames[] = {Kiv::PString("asset-id"), Kiv::PString("profile-map")};
  if (fieldId_ < 2) return kNames[fieldId_];
  return UnknownFilterFieldName();
}

Kiv::PString VADFilterElementAssetID::GetValueText() const {
  Kiv::String text;
  for (const KUID& kuid : kuids_) {
    if (!text.empty()) text += ", ";
    text += KUIDToTagString(kuid).View();
  }
  return Kiv::PString(text);
}

bool VADFilterElementAssetID::Write(TStream& stream) const {
  TStreamWriteU32(stream, fieldId_);
  TStreamWriteU32(stream, static_cast<uint32_t>(kuids_.size()));
  for (const KUID& kuid : kuids_) WriteKUID(stream, kuid);
  return true;
}

bool VADFilterElementAssetID::Read(TStream& stream) {
  TStreamReadU32(stream, fieldId_, 0);
  kuids_.clear();
  uint32_t count = 0;
  TStreamReadU32(stream, count, 0);
  try {
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t bytes[8] = {};
      if (TStreamReadBytes(stream, bytes, sizeof(bytes)) != sizeof(bytes)) {
        stream.SetError(TStream::kErrorShortRead);
        break;
      }
      kuids_.insert(KUIDUnpack(LittleEndianWord(bytes + 4), LittleEndianWord(bytes)));
    }
  } catch (const std::bad_alloc&) {
    stream.SetError(TStream::kErrorSize);
  }
  return true;
}
