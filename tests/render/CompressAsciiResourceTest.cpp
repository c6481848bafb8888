// The texture source resource: options over descriptions, size clamping,
// the choice of target and the compiled texture file it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kiv/File.h"
#include "render/textures/CompressAsciiResource.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TextureTestSupport.h"

namespace {

class CompressAsciiResourceTest : public VUTest::TempFolderTest {
 protected:
  // Writes a `width` x `height` picture "p.png" (graded alpha when `alpha`)
  // and "t.texture.txt" with `description` (its Primary line first).
  void Source(int width, int height, const std::string& description, bool alpha = false) {
    ASSERT_TRUE(texturetest::WritePicture(At("p.png"), width, height,
                                          texturetest::SmoothPicture(width, height, alpha)));
    Put("t.texture.txt", "Primary=p.png\r\n" + description);
  }

  // A resource over t.texture.txt with the raw options (none when null),
  // locked and with its pictures loaded; null when either fails.
  std::unique_ptr<CompressAsciiResource> Open(const char* raw, uint32_t* lockResult = nullptr) {
    auto resource = std::make_unique<CompressAsciiResource>(Kiv::PString("t"), nullptr);
    resource->AddReference();  // Held by the test, never released to 0 here.
    resource->SetFilePath(At("t.texture.txt"));
    options_ = Kiv::Options();
    if (raw != nullptr) {
      options_.ProcessRaw(raw);
      resource->SetOptions(&options_);
    }
    const uint32_t result = resource->Lock();
    if (lockResult != nullptr) *lockResult = result;
    if (result != 0 || !resource->AsciiTextureResource::GetMipLock()) return nullptr;
    return resource;
  }

  Kiv::Options options_;
};

TEST_F(CompressAsciiResourceTest, LoadingNeedsOptionsAndGoodValues) {
  Source(8, 8, "");
  uint32_t result = 0;
  EXPECT_EQ(Open(nullptr, &result), nullptr);
  EXPECT_EQ(result, 1u) << "no options";
  for (const char* description :
       {"Hint=dxt9\n", "Tile=x\n", "a line without a value\n", "Anisotropy=0\n", "AlphaHint=some\n",
        "NormalMap=2\n", "Primary=\n"}) {
    Source(8, 8, description);
    EXPECT_EQ(Open("-Compression=auto", &result), nullptr) << description;
    EXPECT_EQ(result, 1u) << description;
  }
  EXPECT_EQ(Open("-Compression=auto -MipFilter=fast", &result), nullptr) << "a bad option";
  Source(8, 8, "Unknown=1\n; and a comment=of sorts\n");
  EXPECT_NE(Open("-Compression=auto"), nullptr) << "unknown keys are ignored";
}

TEST_F(CompressAsciiResourceTest, PicturesThatCannotBeReadFailTheLock) {
  for (const char* description : {"Alpha=missing.png\n", "Alpha=small.png\n", "Primary=../p.png\n",
                                  "Primary=notapicture.png\n"}) {
    Source(8, 8, "");
    Put("t.texture.txt", description);
    ASSERT_TRUE(
        texturetest::WritePicture(At("small.png"), 4, 4, texturetest::SmoothPicture(4, 4, false)));
    Put("notapicture.png", "not a picture");
    if (std::string(description).rfind("Alpha", 0) == 0)
      Put("t.texture.txt", std::string("Primary=P.PNG\n") + description);
    uint32_t result = 1;
    EXPECT_EQ(Open("-Compression=auto", &result), nullptr) << description;
    EXPECT_EQ(result, 0u) << description << ": the description itself reads";
  }
}

TEST_F(CompressAsciiResourceTest, SizeIsClampedWidthFirstAndNeverBelowOne) {
  struct Case {
    int width, height;
    const char* options;
    Kiv::TextureSize want;
  };
  const Case cases[] = {
      {1024, 1024, "-MaxTextureSize=512,256", {256, 256}},
      {100, 1, "-MaxTextureSize=10", {10, 1}},
      {64, 32, "-MaxTextureSize=x,16", {32, 16}},
      {4096, 64, "", {2048, 32}},
  };
  for (const Case& c : cases) {
    Source(c.width, c.height, "");
    auto resource = Open(c.options);
    ASSERT_NE(resource, nullptr) << c.options;
    EXPECT_EQ(resource->GetSize(), c.want) << c.options;
  }
}

TEST_F(CompressAsciiResourceTest, TargetFollowsCompressionAlphaHintSizeAndBlocks) {
  struct Case {
    int width, height;
    const char* description;
    const char* options;
    uint32_t code;
    bool alpha;
  };
  const Case cases[] = {
      {256, 256, "AlphaHint=mask", "-Compression=auto", 10, true},
      {256, 256, "AlphaHint=blend\nNormalMap=1", "-Compression=auto", 10, true},
      {256, 256, "AlphaHint=blend", "-Compression=auto", 12, true},
      {256, 256, "", "-Compression=DXT5,none", 12, true},
      {256, 256, "AlphaHint=mask", "-Compression=dxt5,none", 1, true},
      {256, 256, "AlphaHint=blend", "-Compression=dxt5,none", 1, true},
      {256, 256, "", "-Compression=dxt3,auto", 11, true},
      {32, 32, "", "-Compression=auto", 3, false},
      {32, 32, "", "-Compression=auto -forceOptions", 10, false},
      {66, 64, "", "-Compression=auto -forceOptions", 3, false},
      {66, 64, "AlphaHint=blend", "-Compression=auto", 1, true},
      {256, 256, "Hint=dxt3", "-Compression=dxt1", 11, true},
      {256, 256, "Hint=none", "-Compression=auto", 3, false},
      {256, 256, "Hint=dxt1\nAlphaHint=mask", "", 10, true},
      {256, 256, "Hint=dxt5", "-Compression=dxt1 -forceOptions", 10, false},
      {256, 256, "", "-AlphaHint=blend", 1, true},
  };
  for (const Case& c : cases) {
    Source(c.width, c.height, c.description);
    auto resource = Open(c.options);
    ASSERT_NE(resource, nullptr) << c.description << " / " << c.options;
    EXPECT_EQ(resource->GetTargetFormat(), c.code) << c.description << " / " << c.options;
    EXPECT_EQ(resource->GetChosenAlpha(), c.alpha) << c.description << " / " << c.options;
  }
}

TEST_F(CompressAsciiResourceTest, DescriptionWinsUnlessOptionsAreForced) {
  Source(64, 64, "MipFilter=none\nTile=st\n");
  auto plain = Open("-MipFilter=linear -Tile=none");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->GetNumMipLevels(), 1u);
  EXPECT_EQ(plain->GetWrapS(), Kiv::TextureSettings::kRepeat);
  auto forced = Open("-MipFilter=linear -Tile=none -forceOptions");
  ASSERT_NE(forced, nullptr);
  EXPECT_EQ(forced->GetNumMipLevels(), 7u);
  EXPECT_EQ(forced->GetWrapS(), Kiv::TextureSettings::kClamp);
}

TEST_F(CompressAsciiResourceTest, WritesTheCompiledTextureWhole) {
  Source(64, 32, "Tile=s\nAnisotropy=4\nModifyMap=1\n");
  auto resource = Open("-Compression=none");
  ASSERT_NE(resource, nullptr);
  ASSERT_TRUE(resource->WriteTextureFile(Kiv::PString(), At("t.texture"), false));
  ASSERT_TRUE(resource->WriteTextureFile(Kiv::PString(), At("t.texture"), false))
      << "again, over the first";
  texturetest::CompiledTexture texture;
  ASSERT_EQ(texturetest::ReadCompiledTexture(At("t.texture"), &texture), "");
  EXPECT_EQ(texture.target, 1u);
  EXPECT_EQ(texture.flags, 1u) << "repeat in S only";
  EXPECT_EQ(texture.settings[4], 4u);
  ASSERT_EQ(texture.images.size(), 1u);
  EXPECT_EQ(
      texturetest::LevelSizes(texture.images[0]),
      (std::vector<size_t>{64 * 32 * 4, 32 * 16 * 4, 16 * 8 * 4, 8 * 4 * 4, 4 * 2 * 4, 2 * 4, 4}));
  const std::vector<uint8_t> source = texturetest::SmoothPicture(64, 32, false);
  const std::vector<uint8_t> level = texturetest::DecodeLevel(texture.images[0][0], 1);
  EXPECT_EQ(level[4 * 70 + 1], 255 - source[4 * 70 + 1]) << "modify map inverts green";
  EXPECT_EQ(level[4 * 70], source[4 * 70]);
  EXPECT_EQ(resource->GetNumImages(), 1u);
  EXPECT_TRUE(resource->GetMipUnlock());
  EXPECT_EQ(resource->GetNumImages(), 0u);
  EXPECT_EQ(resource->GetMip(0, 0), nullptr);

  EXPECT_FALSE(resource->WriteTextureFile(Kiv::PString(), At("t.texture"), false))
      << "pictures released";
  ASSERT_NE(resource->AsciiTextureResource::GetMipLock(), false);
  EXPECT_FALSE(resource->WriteTextureFile(Kiv::PString(), At("no/such/folder/t.texture"), false));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_.Path()), {}), 3)
      << "no temporary file is left";
}

TEST_F(CompressAsciiResourceTest, SaveLocksCompressesAndUnlocks) {
  Source(16, 16, "");
  auto resource = Open("-Compression=auto");
  ASSERT_NE(resource, nullptr);
  ASSERT_TRUE(resource->Save(At("saved.texture").c_str(), nullptr));
  texturetest::CompiledTexture texture;
  ASSERT_EQ(texturetest::ReadCompiledTexture(At("saved.texture"), &texture), "");
  EXPECT_EQ(texture.target, 3u) << "below 64 pixels";
  EXPECT_EQ(texture.images[0].size(), 5u);
  EXPECT_EQ(resource->GetNumImages(), 0u) << "unlocked after saving";
}

}  // namespace
