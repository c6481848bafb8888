// Fuzzes the walk of a compiled texture to the record of its sources: any
// bytes give no offset or one within them, past the header, and the walk
// never reads outside them.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/layout/TextureSourcesRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TextureReadAt readAt = [data, size](uint64_t at, void* out, size_t n) {
    if (at > size || n > size - at) return false;
    std::memcpy(out, data + at, n);
    return true;
  };
  uint64_t offset = 0;
  if (CompiledTextureRecordOffset(readAt, size, &offset) && (offset > size || offset < 56))
    std::abort();
  return 0;
}
