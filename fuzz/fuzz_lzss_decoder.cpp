// Fuzzes the LZSS decoder with the input as a coded stream, into outputs of
// a few capacities, and checks that coding the input at a level it chooses
// decodes back to it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/lzss/LZSSDecoder.h"
#include "foundation/lzss/LZSSEncoder.h"

namespace {

void DecodeInto(const uint8_t* data, size_t size, size_t capacity) {
  std::unique_ptr<uint8_t[]> in(new uint8_t[size]);
  if (size > 0) std::memcpy(in.get(), data, size);
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity + 1]);
  const int64_t n = LZSSDecode(in.get(), size, out.get(), capacity);
  if (n != kLZSSFailed && (n < 0 || uint64_t(n) > capacity)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  DecodeInto(data, size, 1u << 18);
  DecodeInto(data, size, size);
  DecodeInto(data, size, 0);

  const uint32_t level = size > 0 ? data[size - 1] % 10 : 0;
  const std::vector<uint8_t> coded = LZSSEncodeToVector(data, size, level);
  if (coded.empty() || coded.size() > size + 1) std::abort();
  std::vector<uint8_t> back(size + 1);
  const int64_t n = LZSSDecode(coded.data(), coded.size(), back.data(), size);
  if (n != int64_t(size) || (size > 0 && std::memcmp(back.data(), data, size) != 0)) std::abort();
  return 0;
}
