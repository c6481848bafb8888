// Kiv::MeshFileSupport: pieces shared by the readers of mesh files.
//
// Padded string (docs/formats/padded-string.md): a little-endian u32 byte
// count n, then n bytes of text (no terminator), then zero bytes up to the
// next multiple of 4 of n. ReadPaddedString reads one from a memory file:
// when the count, the text or its padding does not fit the bytes left, it
// leaves `*text` unchanged, moves the cursor to the end of the data (so
// nothing more is read), marks the file truncated and answers false. Texts
// longer than kMaxPaddedString are refused the same way.
#pragma once

#include <cstdint>

#include "kiv/PString.h"
#include "kiv/String.h"

namespace Kiv {

class MemoryFile;

class MeshFileSupport {
 public:
  static constexpr uint32_t kMaxPaddedString = 1u << 20;

  static bool ReadPaddedString(MemoryFile& file, String* text);
  static bool ReadPaddedString(MemoryFile& file, PString* text);
  // Bytes a padded string of `length` text bytes takes in a file.
  static uint64_t PaddedStringSize(uint64_t length) { return 4 + (length + 3) / 4 * 4; }
};

}  // namespace Kiv
