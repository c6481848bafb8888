#include "kiv/display/Display.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

TEST(Display, SettersRecordAndGettersAnswerTheCurrentValue) {
  Kiv::Display display;
  EXPECT_TRUE(display.GetDepthWrite());
  EXPECT_EQ(display.GetAlphaBlendSource(), 1u);
  struct Case {
    std::function<void(Kiv::Display&)> set;
    std::function<bool(const Kiv::Display&)> check;
    const char* record;
  };
  const std::vector<Case> cases = {
      {[](auto& d) { d.SetAlphaBlendMode(3); }, [](auto& d) { return d.GetAlphaBlendMode() == 3; },
       "AlphaBlendMode 3"},
      {[](auto& d) { d.SetAlphaBlendFunction(5, 6); },
       [](auto& d) { return d.GetAlphaBlendSource() == 5 && d.GetAlphaBlendDestination() == 6; },
       "AlphaBlendFunction 5 6"},
      {[](auto& d) { d.SetAlphaTest(true); }, [](auto& d) { return d.GetAlphaTest(); },
       "AlphaTest 1"},
      {[](auto& d) { d.SetDepthWrite(false); }, [](auto& d) { return !d.GetDepthWrite(); },
       "DepthWrite 0"},
      {[](auto& d) { d.SetCullMode(2); }, [](auto& d) { return d.GetCullMode() == 2; },
       "CullMode 2"},
      {[](auto& d) { d.SetFogMode(1); }, [](auto& d) { return d.GetFogMode() == 1; }, "FogMode 1"},
      {[](auto& d) { d.SetFogDensity(0.25f); }, [](auto& d) { return d.GetFogDensity() == 0.25f; },
       "FogDensity 0.25"},
      {[](auto& d) { d.SetColorMaterialMode(4); },
       [](auto& d) { return d.GetColorMaterialMode() == 4; }, "ColorMaterialMode 4"},
      {[](auto& d) { d.SetTexCoordGeneration(1, 3); },
       [](auto& d) { return d.GetTexCoordGeneration(1) == 3; }, "TexCoordGeneration 1 3"},
      {[](auto& d) { d.SetAntiAliasing(true); }, [](auto& d) { return d.GetAntiAliasing(); },
       "AntiAliasing 1"},
  };
  std::vector<std::string> want;
  for (const Case& c : cases) {
    c.set(display);
    EXPECT_TRUE(c.check(display)) << c.record;
    want.push_back(c.record);
  }
  display.SetTexCoordGeneration(Kiv::Display::kMaxTextureUnits, 1);
  EXPECT_EQ(display.GetTexCoordGeneration(Kiv::Display::kMaxTextureUnits), 0u);
  EXPECT_EQ(display.GetRecord(), want) << "an out-of-range unit records nothing";

  EXPECT_FALSE(display.GetCapability(29));
  display.SetCapability(29, true);
  EXPECT_TRUE(display.GetCapability(29));
  display.SetCapability(29, false);
  EXPECT_FALSE(display.GetCapability(29));
  uint32_t colours[2] = {0xFF102030, 0x80405060};
  display.ConvertColorArray(colours, 2);
  EXPECT_EQ(colours[1], 0x80405060u);
}

}  // namespace
