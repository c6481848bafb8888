// GSOImage::Load: an image over a picture file, or none when the file
// cannot be read.
#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <string>

#include "RuntimeTestSupport.h"
#include "gsnative/GSOImage.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSContext.h"
#include "kiv/File.h"
#include "tests/support/TempFolder.h"

namespace {

class ImageLoadTest : public VUTest::TempFolderTest {};

TEST_F(ImageLoadTest, LoadsPicturesAndRefusesWhatItCannotRead) {
  GSTest::PrintCapture print;
  const Kiv::PString root("imageloadtest");
  Kiv::File::Subst(root, VU_SCRIPT_LIBRARIES_DIR);
  GSMachine machine;
  machine.Init();
  machine.AddLibraryFolder(root);
  ASSERT_TRUE(FindScriptClass(machine, "Image.gsl", "Image", &gImageScriptClass));
  const unsigned char rgba[] = {10, 20, 30, 255, 40, 50, 60, 128};
  const std::string path = At("two.png");
  ASSERT_NE(stbi_write_png(path.c_str(), 2, 1, 4, rgba, 8), 0);
  GSRuntime::GSContext context;
  GSOImage* image = GSOImage::Load(&context, path);
  ASSERT_NE(image, nullptr);
  ASSERT_NE(image->GetBitmap(), nullptr);
  EXPECT_EQ(image->GetBitmap()->Width(), 2u);
  EXPECT_EQ(image->GetBitmap()->Row(0)[1], 0x8028323Cu) << "0xAARRGGBB";
  GSRuntime::GSObjectReference::Release(image->GetScriptInstance());
  EXPECT_EQ(GSOImage::Load(&context, At("none.png")), nullptr);
  gImageScriptClass = nullptr;
  Kiv::File::Subst(root, Kiv::String());
}

}  // namespace
