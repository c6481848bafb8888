#include "kiv/host/PluginType.h"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <string>

#include "kiv/basics/Bitmap.h"
#include "kiv/host/LookupPluginByType.h"
#include "tests/support/FileTestDir.h"

namespace {

class PluginTypeTest : public FileTestDir {};

const Kiv::PString kImageUId(Kiv::kImagePluginTypeUId);

TEST_F(PluginTypeTest, BmpImageTypeIsFoundCountedAndDecodes) {
  Kiv::PluginType* type = nullptr;
  ASSERT_TRUE(Kiv::PluginBase::LookupPluginType(&type, kImageUId, Kiv::PString("BMP")));
  const int32_t held = type->UseCount();
  {
    Kiv::LookupPluginByType reference(kImageUId, Kiv::PString("bmp"));
    ASSERT_EQ(reference.Get(), type);
    EXPECT_EQ(type->UseCount(), held + 1);
    reference.Release();
    reference.Release();  // Dropping twice drops once.
    EXPECT_EQ(reference.Get(), nullptr);
    EXPECT_EQ(type->UseCount(), held);
  }
  EXPECT_EQ(type->UseCount(), held);

  const uint8_t rgba[] = {10, 20, 30, 255};
  const std::string path = At("p.bmp");
  ASSERT_TRUE(stbi_write_bmp(path.c_str(), 1, 1, 4, rgba));
  std::string error;
  auto bitmap = static_cast<Kiv::ImagePluginType*>(type)->Decode(path, &error);
  ASSERT_NE(bitmap, nullptr) << error;
  EXPECT_EQ(bitmap->Width(), 1u);
  EXPECT_EQ(static_cast<Kiv::ImagePluginType*>(type)->Decode(At("none.bmp"), &error), nullptr);
  type->ReleaseReference();
}

TEST_F(PluginTypeTest, UnknownTypesAreNullAndDuplicatesAreRefused) {
  Kiv::ImagePluginType stale{Kiv::PString("stale")};
  Kiv::PluginType* type = &stale;
  EXPECT_FALSE(Kiv::PluginBase::LookupPluginType(&type, kImageUId, Kiv::PString("xyz")));
  EXPECT_EQ(type, nullptr);
  EXPECT_FALSE(Kiv::PluginBase::LookupPluginType(&type, Kiv::PString("other"), Kiv::PString("bmp")));
  EXPECT_EQ(Kiv::LookupPluginByType(kImageUId, Kiv::PString("xyz")).Get(), nullptr);

  auto* duplicate = new Kiv::ImagePluginType(Kiv::PString("Bmp"));
  EXPECT_FALSE(Kiv::PluginBase::RegisterPluginType(duplicate));
  delete duplicate;
  auto* added = new Kiv::ImagePluginType(Kiv::PString("tga-test"));
  EXPECT_TRUE(Kiv::PluginBase::RegisterPluginType(added));
  Kiv::LookupPluginByType found(kImageUId, Kiv::PString("TGA-test"));
  EXPECT_EQ(found.Get(), added);
}

}  // namespace
