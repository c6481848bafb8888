#include "render/materials/VandruGlossRustMaterial.h"

#include <gtest/gtest.h>

#include <string>

#include "MaterialTestSupport.h"
#include "kiv/RenderKernel.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/OneTextureMaterialPlugins.h"

namespace {

// The chunk's "RustAge" chooses rust or gloss mode; rust mode uses the
// third and fourth stage states and fades in the rust through the stage
// constant's alpha; the specular colour fades above 0.5 for the draw only.
// Gloss mode lets the display generate the sphere coordinates.
TEST(GlossRustMaterial, RustAgeChoosesTheMode) {
  Kiv::RenderKernel kernel(nullptr, 8.0f);
  Kiv::Display& display = *kernel.GetDisplay();
  Kiv::Ref<Kiv::VandruGlossRustMaterialPlugin> plugin(new Kiv::VandruGlossRustMaterialPlugin);
  ASSERT_TRUE(plugin->CreatePluginResources(&kernel));
  Kiv::Ref<Kiv::VandruGlossRustMaterial> material(new Kiv::VandruGlossRustMaterial(
      nullptr, plugin->GetMaterialChunkCache(), plugin->GetAlphaBlendCache(),
      plugin->GetStateCount(), plugin->GetStates()));
  Kiv::DisplayMaterial colours;
  colours.ambient = {0.5f, 1, 1, 1};
  colours.specular = {0.8f, 0.4f, 0.2f, 1};
  material->SetDisplayMaterialProperties(colours);
  material->SetGlossAmount(1.0f);
  Kiv::Ref<Kiv::MaterialTexture> reflection(new Kiv::MaterialTexture);
  reflection->name = Kiv::PString("chrome.tga");
  material->SetReflectionTexture(reflection.get());
  Kiv::Ref<Kiv::GeometryChunk> chunk(
      material->CreateGeometryChunk(4, 2, 6, 0, 0, Kiv::StandardChunkHint(0, 0)));
  ASSERT_TRUE(chunk);
  EXPECT_EQ(chunk->GetChunkProperty(Kiv::PString("RustAge"), -1.0f), 0.0f);
  Kiv::ViewPort viewport;
  display.SetGlobalAmbient({0.25f, 0.25f, 0.25f, 1});
  Kiv::DisplayLight parallel;
  parallel.type = 3;
  parallel.ambient = {0.5f, 0, 0, 0};
  const Kiv::DisplayLightList lights = {&parallel};

  const struct {
    float rustAge;
    const char* golden;
  } cases[] = {
      {0.75f, "glossrust_rust_old"}, {0.5f, "glossrust_rust_half"}, {0.25f, "glossrust_gloss"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rustAge);
    chunk->SetChunkProperty(Kiv::PString("RustAge"), c.rustAge);
    const Kiv::Display::State before = display.GetState();
    display.ClearRecord();
    material->RenderChunk(&display, &viewport, chunk.get(), &lights, nullptr, 0);
    materialtest::ExpectGolden(display.GetRecord(), c.golden);
    EXPECT_EQ(display.GetState(), before);
    EXPECT_EQ(material->GetDisplayMaterial(), colours) << "colours put back";
  }

  material->SetReflectionTexture(nullptr);
  display.ClearRecord();
  material->RenderChunk(&display, &viewport, chunk.get(), &lights, nullptr, 0);
  EXPECT_TRUE(display.GetRecord().empty()) << "nothing without a reflection texture";
}

}  // namespace
