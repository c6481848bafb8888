#include "render/materials/VandruBumpMaterial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "MaterialTestSupport.h"
#include "kiv/RenderKernel.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/ViewPort.h"

namespace {

Kiv::DisplayLight Light(uint32_t type, float r, float g, float b) {
  Kiv::DisplayLight light;
  light.type = type;
  light.diffuse = {r, g, b, 1};
  light.ambient = {0.25f, 0.25f, 0.25f, 0};
  return light;
}

// Recorded draws of a bump material with a parallel light only, a parallel
// and a spot light, and two equal spot lights (the first is used): the
// programs, their constants and the passes; the display is left as found.
TEST(BumpMaterial, RecordedPassesMatchGoldenFiles) {
  auto parallel = Light(3, 0.5f, 1, 0.25f);
  parallel.direction = {2, 0, 0};
  auto spotA = Light(2, 0.5f, 0.5f, 0);
  spotA.position = {10, 3, 0};
  spotA.direction = {0, 0, 1};
  spotA.spotAngle = static_cast<float>(M_PI / 3);
  spotA.radius = 4;
  auto spotB = spotA;
  spotB.diffuse = {0, 0.5f, 0.5f, 1};
  spotB.position = {10, 0, 7};
  const struct {
    const char* golden;
    std::vector<const Kiv::DisplayLight*> lights;
  } cases[] = {{"bump_parallel", {&parallel}},
               {"bump_parallel_spot", {&spotA, &parallel}},
               {"bump_two_equal_spots", {&spotA, &spotB}}};

  Kiv::RenderKernel kernel(nullptr, 8.0f);
  Kiv::Display& display = *kernel.GetDisplay();
  Kiv::Ref<Kiv::VandruBumpMaterialPlugin> plugin(new Kiv::VandruBumpMaterialPlugin);
  ASSERT_TRUE(plugin->AcquireSharedResources(&kernel));
  Kiv::Ref<Kiv::VandruBumpMaterial> material(new Kiv::VandruBumpMaterial(
      nullptr, plugin->GetMaterialChunkCache(), plugin->GetAlphaMaskCache(),
      plugin->GetAlphaBlendCache(), plugin->GetPrograms()));
  Kiv::DisplayMaterial colours;
  colours.diffuse = {1, 0.5f, 1, 0.6f};
  colours.specular = {0.2f, 0.4f, 1, 1};
  material->SetDisplayMaterialProperties(colours);
  Kiv::Ref<Kiv::MaterialTexture> normals(new Kiv::MaterialTexture);
  normals->name = Kiv::PString("normals.tga");
  material->SetBumpTexture(normals.get());
  Kiv::Ref<Kiv::GeometryChunk> chunk(
      Kiv::GeometryChunk::Create(24, 12, 36, 0, 0, Kiv::StandardChunkHint(0, 0)));
  Kiv::Matrix4 object;
  object.m = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
  Kiv::ViewPort viewport;
  viewport.viewTransform = Kiv::Matrix4::Translation(-10, 0, 5);
  display.SetGlobalAmbient({0.1f, 0.1f, 0.1f, 1});
  display.SetAlphaBlendFunction(2, 3);
  display.SetFogMode(1);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.golden);
    const Kiv::Display::State before = display.GetState();
    display.ClearRecord();
    material->RenderChunk(&display, &viewport, chunk.get(), &c.lights, &object, 0);
    EXPECT_EQ(display.GetState(), before);
    materialtest::ExpectGolden(display.GetRecord(), c.golden);
  }

  display.ClearRecord();
  material->RenderChunk(&display, nullptr, chunk.get(), &cases[0].lights, &object, 0);
  EXPECT_TRUE(display.GetRecord().empty()) << "nothing without a viewport";
  material->RenderPrimitives(&display, &viewport, chunk.get(), nullptr, &object, 6, nullptr, 12, 4,
                             0);
  ASSERT_EQ(display.GetDraws().size(), 1u) << "no light list: the parallel pass only";
  EXPECT_EQ(display.GetDraws()[0].first, 6u);
  EXPECT_EQ(display.GetDraws()[0].count, 12u);
}

}  // namespace
