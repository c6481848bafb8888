#include "kiv/display/Display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The display has no device: what matters is the record of the calls made
// and the state later calls see.
TEST(Display, CallsAreRecordedAndOutOfRangeUnitsIgnored) {
  Kiv::Display display;
  display.SetAlphaBlendMode(3);
  display.SetAlphaBlendFunction(5, 6);
  display.SetAlphaTest(true);
  display.SetDepthWrite(false);
  display.SetCullMode(2);
  display.SetFogMode(1);
  display.SetFogDensity(0.25f);
  display.SetColorMaterialMode(4);
  display.SetTexCoordGeneration(1, 3);
  display.SetAntiAliasing(true);
  display.SetTexCoordGeneration(Kiv::Display::kMaxTextureUnits, 1);
  EXPECT_EQ(
      display.GetRecord(),
      (std::vector<std::string>{"AlphaBlendMode 3", "AlphaBlendFunction 5 6", "AlphaTest 1",
                                "DepthWrite 0", "CullMode 2", "FogMode 1", "FogDensity 0.25",
                                "ColorMaterialMode 4", "TexCoordGeneration 1 3", "AntiAliasing 1"}))
      << "an out-of-range unit records nothing";
  EXPECT_FALSE(display.GetDepthWrite());
  EXPECT_EQ(display.GetAlphaBlendDestination(), 6u);
  EXPECT_EQ(display.GetTexCoordGeneration(1), 3u);
  EXPECT_EQ(display.GetTexCoordGeneration(Kiv::Display::kMaxTextureUnits), 0u);

  uint32_t colours[2] = {0xFF102030, 0x80405060};
  display.ConvertColorArray(colours, 2);
  EXPECT_EQ(colours[1], 0x80405060u);
}

}  // namespace
