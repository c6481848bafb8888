#include "kiv/basics/KIRFWriteHeader.h"

#include "kiv/File.h"

namespace Kiv {

namespace {

bool WriteU32(File& file, uint32_t value) {
  const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                            uint8_t(value >> 24)};
  return file.Write(bytes, 4) == 4;
}

}  // namespace

KIRFWriteHeader::KIRFWriteHeader(File& file, uint32_t type) : file_(file), start_(file.Tell()) {
  ok_ = start_ >= 0 && file_.Write("KIRF", 4) == 4 && WriteU32(file_, 0) && WriteU32(file_, type);
}

KIRFWriteHeader::~KIRFWriteHeader() {
  if (!finished_) Finish();
}

bool KIRFWriteHeader::Finish() {
  if (finished_) return ok_;
  finished_ = true;
  if (!ok_) return false;
  const int64_t end = file_.Tell();
  const int64_t size = end - (start_ + 8);
  ok_ = end >= 0 && size >= 4 && size <= int64_t(UINT32_MAX) &&
        file_.Seek(start_ + 4, 0) == start_ + 4 && WriteU32(file_, static_cast<uint32_t>(size)) &&
        file_.Seek(end, 0) == end;
  return ok_;
}

}  // namespace Kiv
