#include "foundation/text/KUID.h"

#include "foundation/stream/TStreamTyped.h"

namespace {

constexpr int32_t kMaxUserId = 0x1FFFFFF;
constexpr int32_t kMinUserId = -0x2000000;
constexpr uint32_t kUserIdMask = 0x1FFFFFFu;
constexpr uint32_t kUserIdSignBit = 0x1000000u;

// Interned once and never freed, so no static destructor can run after the
// string cache has gone.
const Kiv::PString& NullTagText() {
  static const Kiv::PString* const text = new Kiv::PString("<NULL>");
  return *text;
}

uint32_t ReadLE32(const uint8_t* in) {
  return uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) |
         (uint32_t(in[3]) << 24);
}

void WriteLE32(uint32_t value, uint8_t* out) {
  out[0] = uint8_t(value);
  out[1] = uint8_t(value >> 8);
  out[2] = uint8_t(value >> 16);
  out[3] = uint8_t(value >> 24);
}

}  // namespace

bool KUID::IsValid() const {
  if (userId >= 0 && userId <= kMaxUserId) return version >= 0 && version <= 127;
  return userId >= kMinUserId && userId < 0 && version == 127;
}

bool KUIDHasShortForm(const KUID& kuid) {
  return (kuid.version == 0 && kuid.userId >= 0) || (kuid.version == 127 && kuid.userId < 0);
}

Kiv::PString KUIDToTagString(const KUID& kuid) {
  if (kuid.IsNull()) return NullTagText();
  if (KUIDHasShortForm(kuid)) {
    return Kiv::PString(Kiv::StringPrintf("<kuid:%d:%d>", kuid.userId, kuid.contentId));
  }
  return Kiv::PString(
      Kiv::StringPrintf("<kuid2:%d:%d:%d>", kuid.userId, kuid.contentId, kuid.version));
}

Kiv::PString KUIDToPString(const KUID& kuid) {
  if (kuid.IsNull()) return NullTagText();
  return Kiv::PString(Kiv::StringPrintf("<kuid:%d:%d>", kuid.userId, kuid.contentId));
}

Kiv::String KUIDToShortString(const KUID& kuid) {
  if (kuid.IsNull()) return "NULLKUID";
  if (KUIDHasShortForm(kuid)) return Kiv::StringPrintf("%d%c%d", kuid.userId, ':', kuid.contentId);
  return Kiv::StringPrintf("%d%c%d%c%d", kuid.userId, ':', kuid.contentId, ':', kuid.version);
}

Kiv::String KUIDToKeywordString(const KUID& kuid) {
  if (kuid.IsNull()) return "NULLKUID";
  if (KUIDHasShortForm(kuid)) return Kiv::StringPrintf("kuid %d %d", kuid.userId, kuid.contentId);
  return Kiv::StringPrintf("kuid2 %d %d %d", kuid.userId, kuid.contentId, kuid.version);
}

uint32_t KUIDPackWord(const KUID& kuid) {
  return (uint32_t(kuid.version) << 25) | (uint32_t(kuid.userId) & kUserIdMask);
}

KUID KUIDUnpack(uint32_t packedWord, uint32_t contentWord) {
  uint32_t user = packedWord & kUserIdMask;
  if (user & kUserIdSignBit) user |= ~kUserIdMask;
  return KUID{int32_t(user), int32_t(contentWord), int32_t(packedWord >> 25)};
}

bool KUIDReadsBack(const KUID& kuid) {
  return KUIDUnpack(KUIDPackWord(kuid), uint32_t(kuid.contentId)) == kuid;
}

void KUIDToRawBytes(const KUID& kuid, uint8_t out[8]) {
  WriteLE32(KUIDPackWord(kuid), out);
  WriteLE32(uint32_t(kuid.contentId), out + 4);
}

KUID KUIDFromRawBytes(const uint8_t in[8]) {
  return KUIDUnpack(ReadLE32(in), ReadLE32(in + 4));
}

void WriteKUID(TStream& stream, const KUID& kuid) {
  TStreamWriteU32(stream, uint32_t(kuid.contentId));
  TStreamWriteU32(stream, KUIDPackWord(kuid));
}

KUID ReadKUID(TStream& stream) {
  uint32_t contentWord = 0;
  uint32_t packedWord = 0;
  const bool haveContent = TStreamReadU32(stream, contentWord, uint32_t(kNullKUID.contentId));
  const bool havePacked = TStreamReadU32(stream, packedWord, KUIDPackWord(kNullKUID));
  // A KUID cut short is null as a whole, not the content id of one KUID
  // joined to the null KUID's user id and version.
  if (!haveContent || !havePacked) return kNullKUID;
  return KUIDUnpack(packedWord, contentWord);
}

TStream& operator<<(TStream& stream, const KUID& kuid) {
  WriteKUID(stream, kuid);
  return stream;
}

TStream& operator>>(TStream& stream, KUID& kuid) {
  kuid = ReadKUID(stream);
  return stream;
}
