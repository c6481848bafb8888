// Fuzzes the reading of texture source lines: any bytes read, in one piece
// or in two, give the same names, no name longer than a line is kept, and
// the non-ANSI mark says exactly whether a byte of 128 or more came.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tetlib/TextureSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TETLib::TextureSourceScanner whole;
  whole.Feed(bytes);
  const TETLib::TextureSourceNames names = whole.Finish();
  TETLib::TextureSourceScanner split;
  const size_t cut = size == 0 ? 0 : data[0] % size;
  split.Feed(bytes.substr(0, cut));
  split.Feed(bytes.substr(cut));
  const TETLib::TextureSourceNames again = split.Finish();
  if (again.primary != names.primary || again.alpha != names.alpha ||
      again.nonAnsi != names.nonAnsi)
    std::abort();
  if (names.primary.size() > TETLib::kMaxLineBytes || names.alpha.size() > TETLib::kMaxLineBytes)
    std::abort();
  bool high = false;
  for (const char c : bytes) high |= static_cast<unsigned char>(c) >= 128;
  if (high != names.nonAnsi) std::abort();
  return 0;
}
