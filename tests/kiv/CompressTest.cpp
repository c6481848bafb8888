#include "kiv/Compress.h"

#include <gtest/gtest.h>

namespace {

// A stand-in codec; only its creation is looked at.
class StubCodec final : public Kiv::Compress {
 public:
  size_t CompressBlock(void*, size_t, const void*, size_t, uint32_t) override { return 0; }
  int64_t DecompressBlock(void*, size_t, const void*, size_t) override { return kFailed; }
};

Kiv::Compress* MakeStubCodec() {
  return new StubCodec();
}

TEST(KivCompress, CreateUsesTheInstalledFactory) {
  Kiv::Compress::SetFactory(nullptr);
  EXPECT_FALSE(Kiv::Compress::Create());
  Kiv::Compress::SetFactory(&MakeStubCodec);
  Kiv::Ref<Kiv::Compress> codec = Kiv::Compress::Create();
  ASSERT_TRUE(codec);
  EXPECT_EQ(codec->UseCount(), 1);
  Kiv::Compress::SetFactory(nullptr);
}

}  // namespace
