// Kiv::KIRFWriteHeader: writes the outer "KIRF" container of the engine's
// binary files.
//
// Layout: the four bytes "KIRF", a little-endian u32 size (the number of
// bytes that follow the size field, up to the end of the file) and a
// little-endian u32 type word. The constructor writes the three fields at
// the file's current position with a size of 0; Finish writes the real size
// once the body has been written and puts the position back at the end.
// The destructor finishes a header that was not finished (without a way to
// report a failure, so callers that care call Finish themselves).
//
// Ok() is false once any write or seek of the header failed; Finish answers
// it. The file must stay open for the writer's life. Not thread-safe.
#pragma once

#include <cstdint>

namespace Kiv {

class File;

class KIRFWriteHeader {
 public:
  KIRFWriteHeader(File& file, uint32_t type);
  ~KIRFWriteHeader();
  KIRFWriteHeader(const KIRFWriteHeader&) = delete;
  KIRFWriteHeader& operator=(const KIRFWriteHeader&) = delete;

  bool Ok() const { return ok_; }
  bool Finish();

 private:
  File& file_;
  int64_t start_;
  bool ok_;
  bool finished_ = false;
};

}  // namespace Kiv
