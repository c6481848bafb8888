#include "kiv/Compress.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A stand-in codec that stores the bytes as they are.
class CopyCodec final : public Kiv::Compress {
 public:
  size_t CompressBlock(void* dst, size_t capacity, const void* src, size_t n, uint32_t) override {
    if (capacity < n || n == 0) return 0;
    std::memcpy(dst, src, n);
    return n;
  }
  int64_t DecompressBlock(void* dst, size_t capacity, const void* src, size_t n) override {
    if (capacity < n) return kFailed;
    std::memcpy(dst, src, n);
    return int64_t(n);
  }
};

Kiv::Compress* MakeCopyCodec() {
  return new CopyCodec();
}

TEST(KivCompress, CreateUsesTheInstalledFactory) {
  Kiv::Compress::SetFactory(nullptr);
  EXPECT_FALSE(Kiv::Compress::Create());
  Kiv::Compress::SetFactory(&MakeCopyCodec);
  Kiv::Ref<Kiv::Compress> codec = Kiv::Compress::Create();
  ASSERT_TRUE(codec);
  EXPECT_EQ(codec->UseCount(), 1);
  char out[4] = {};
  EXPECT_EQ(codec->CompressBlock(out, sizeof out, "abc", 3, 9), 3u);
  EXPECT_EQ(codec->DecompressBlock(out, 2, "abc", 3), Kiv::Compress::kFailed);
  Kiv::Compress::SetFactory(nullptr);
}

}  // namespace
