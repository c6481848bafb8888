#include "gsnative/WorldStreamReader.h"

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"

uint32_t WorldStreamReader::Tell() {
  return stream_.Tell();
}

bool WorldStreamReader::Fits(uint32_t at, uint32_t length, const char* field) {
  if (at <= limit_ && limit_ - at >= length) return true;
  return Fail(
      field, at,
      "(" + std::to_string(length) + " bytes) runs past the end at byte " + std::to_string(limit_));
}

bool WorldStreamReader::Word(uint32_t& out, const char* field) {
  const uint32_t at = stream_.Tell();
  if (!Fits(at, 4, field)) return false;
  if (TStreamReadU32(stream_, out, 0)) return true;
  return Fail(field, at, "is cut short");
}

bool WorldStreamReader::ReadKUID(KUID& out, const char* field) {
  const uint32_t at = stream_.Tell();
  if (!Fits(at, 8, field)) return false;
  uint32_t content = 0;
  uint32_t packed = 0;
  if (!TStreamReadU32(stream_, content, 0) || !TStreamReadU32(stream_, packed, 0)) {
    return Fail(field, at, "is cut short");
  }
  out = KUIDUnpack(packed, content);
  return true;
}

bool WorldStreamReader::Span(uint32_t length, const char* field, uint32_t& end) {
  const uint32_t at = stream_.Tell();
  if (!Fits(at, length, field)) return false;
  end = at + length;
  return true;
}

bool WorldStreamReader::Fail(const char* field, uint32_t at, const std::string& problem) {
  if (!error_.empty()) return false;
  error_ = std::string(section_) + ": " + field + " at byte " + std::to_string(at) + " " + problem;
  return false;
}
