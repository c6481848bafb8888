// WorldStreamReader: bounded reading of the world-list stream chunks, which
// are untrusted bytes.
//
// Every read checks that its bytes lie before the limit (the end of the
// chunk, or of the stream for the item list, whose length is not
// recorded) and that the stream had them; the first fault is kept as a
// text that names the section, the field and the byte position, for
// example "item-data chunk: record index at byte 52 runs past the end of
// the chunk at byte 50". Nothing is printed.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/text/KUID.h"

class TStream;

// The outcome of reading a world-list chunk: empty error text on success.
struct WorldStreamResult {
  std::string error;
  bool Ok() const { return error.empty(); }
};

class WorldStreamReader {
 public:
  WorldStreamReader(TStream& stream, const char* section, uint32_t limit)
      : stream_(stream), section_(section), limit_(limit) {}

  TStream& Stream() { return stream_; }
  uint32_t Tell();
  uint32_t Limit() const { return limit_; }
  void SetLimit(uint32_t limit) { limit_ = limit; }

  // The next u32 / KUID; false, with the fault recorded, when its bytes
  // run past the limit or the stream.
  bool Word(uint32_t& out, const char* field);
  bool ReadKUID(KUID& out, const char* field);
  // Checks that `length` bytes from the current position stay before the
  // limit; answers the end of those bytes.
  bool Span(uint32_t length, const char* field, uint32_t& end);

  // Records "<section>: <field> at byte <at> <problem>" unless a fault is
  // recorded; always answers false.
  bool Fail(const char* field, uint32_t at, const std::string& problem);
  const std::string& Error() const { return error_; }
  WorldStreamResult Result() const { return WorldStreamResult{error_}; }

 private:
  bool Fits(uint32_t at, uint32_t length, const char* field);

  TStream& stream_;
  const char* section_;
  uint32_t limit_;
  std::string error_;
};
