#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MaterialTestSupport.h"
#include "kiv/RenderKernel.h"
#include "kiv/display/Material.h"
#include "render/materials/AlphaBlendCacheUnsorted.h"
#include "render/materials/AlphaBlendCaches.h"
#include "render/materials/BumpMaterialPlugins.h"
#include "render/materials/OneTextureMaterialPlugins.h"
#include "render/materials/TextureArgsPresets.h"
#include "render/materials/VandruAlphaBlendCache.h"
#include "render/materials/VandruMultiPFXMaterialPlugin.h"

namespace {

// The seven plug-ins in the order they are made.
std::vector<Kiv::Ref<Kiv::MaterialPlugin>> MakePlugins() {
  return {Kiv::Ref<Kiv::MaterialPlugin>(new Kiv::VandruBumpGlossMaterialPlugin),
          Kiv::Ref<Kiv::MaterialPlugin>(new Kiv::VandruBumpMaterialPlugin),
          Kiv::Ref<Kiv::MaterialPlugin>(new Kiv::VandruBumpEnvMaterialPlugin),
          Kiv::Ref<Kiv::MaterialPlugin>(new Kiv::VandruOneTexNoAlphaMaterialPlugin),
          Kiv::Ref<Kiv::MaterialPlugin>(new Kiv::VandruGlossRustMaterialPlugin),
          Kiv::Ref<Kiv::MaterialPlugin>(new Kiv::VandruMultiPFXMaterialPlugin),
          Kiv::Ref<Kiv::MaterialPlugin>(new Kiv::VandruNoFogMaterialPlugin)};
}

// Which display capabilities give which material: one line a display (its
// capabilities and stages), "+" where the plug-in's own material is
// supported, else the type name it falls back to, in the order of
// MakePlugins; the golden file capability_matrix.
TEST(MaterialPlugins, CapabilityMatrix) {
  const std::pair<std::vector<uint32_t>, uint32_t> displays[] = {
      {{1, 17, 21}, 2}, {{1, 21}, 4}, {{1, 17}, 4}, {{17, 21}, 2}, {{1, 17, 21}, 1}, {{}, 0}};
  const auto plugins = MakePlugins();
  std::vector<std::string> lines;
  for (const auto& [capabilities, stages] : displays) {
    Kiv::Display display;
    std::string line = "capabilities";
    for (uint32_t capability : capabilities) {
      display.SetCapability(capability, true);
      line += " " + std::to_string(capability);
    }
    display.SetTextureStageCount(stages);
    line += ", stages " + std::to_string(stages) + ":";
    for (const auto& plugin : plugins) {
      Kiv::PString fallback;
      const bool supported = plugin->IsSupported(&display, fallback);
      EXPECT_EQ(supported, fallback.Empty()) << plugin->GetTypeName().Str() << " " << line;
      line += " " + (supported ? std::string("+") : fallback.Str());
    }
    lines.push_back(line);
  }
  materialtest::ExpectGolden(lines, "capability_matrix");
  Kiv::PString fallback;
  EXPECT_FALSE(plugins[5]->IsSupported(nullptr, fallback)) << "no display, no second stage";
}

// All plug-ins of a kernel share one cache of each kind, start-up's
// depth-sorted cache among them; each plug-in and material holds one
// reference until it dies.
TEST(MaterialPlugins, CachesAreSharedAndCounted) {
  Kiv::RenderKernel kernel(nullptr, 8.0f);
  Kiv::VandruAlphaBlendCache* sorted = nullptr;
  Kiv::AlphaBlendCacheUnsorted* unsorted = nullptr;
  ASSERT_TRUE(Kiv::CreateAlphaBlendCaches(&kernel, &sorted, &unsorted));
  {
    Kiv::Ref<Kiv::VandruBumpMaterialPlugin> bump(new Kiv::VandruBumpMaterialPlugin);
    Kiv::Ref<Kiv::VandruBumpGlossMaterialPlugin> gloss(new Kiv::VandruBumpGlossMaterialPlugin);
    Kiv::Ref<Kiv::VandruMultiPFXMaterialPlugin> multi(new Kiv::VandruMultiPFXMaterialPlugin);
    Kiv::Ref<Kiv::VandruNoFogMaterialPlugin> noFog(new Kiv::VandruNoFogMaterialPlugin);
    ASSERT_TRUE(bump->AcquireRenderingCaches(&kernel));
    ASSERT_TRUE(gloss->AcquireRenderingCaches(&kernel));
    ASSERT_TRUE(multi->AcquireRenderingCaches(&kernel));
    ASSERT_TRUE(noFog->CreatePluginResources(&kernel));
    EXPECT_EQ(bump->GetAlphaBlendCache(), sorted);
    EXPECT_EQ(gloss->GetAlphaBlendCache(), sorted);
    EXPECT_EQ(multi->GetAlphaBlendCache(), sorted);
    EXPECT_EQ(noFog->GetAlphaBlendCache(), sorted);
    EXPECT_EQ(bump->GetAlphaMaskCache(), gloss->GetAlphaMaskCache());
    EXPECT_EQ(bump->GetAlphaMaskCache(), multi->GetAlphaMaskCache());
    EXPECT_EQ(bump->GetMaterialChunkCache(), multi->GetMaterialChunkCache());
    EXPECT_EQ(bump->GetMaterialChunkCache(), noFog->GetMaterialChunkCache());
    EXPECT_EQ(sorted->UseCount(), 2 + 4);
    EXPECT_EQ(bump->GetAlphaMaskCache()->UseCount(), 1 + 3);
    ASSERT_TRUE(bump->AcquireRenderingCaches(&kernel));
    EXPECT_EQ(sorted->UseCount(), 2 + 4) << "a second call takes nothing more";

    // Each material holds the caches too, until it dies.
    Kiv::Ref<Kiv::Material> material(noFog->CreateInstance(nullptr, &kernel));
    Kiv::Ref<Kiv::Material> other(multi->CreateInstance(nullptr, &kernel));
    EXPECT_EQ(sorted->UseCount(), 2 + 4 + 2);
    material.reset();
    other.reset();
    EXPECT_EQ(sorted->UseCount(), 2 + 4);
  }
  EXPECT_EQ(sorted->UseCount(), 2);
  EXPECT_FALSE(Kiv::VandruBumpMaterialPlugin().AcquireRenderingCaches(nullptr));
  Kiv::ReleaseRef(sorted);
  Kiv::ReleaseRef(unsorted);
}

// Programs are made in a fixed order; one that fails releases all the
// plug-in made, and the next attempt starts over.
TEST(MaterialPlugins, FailedProgramReleasesAllAndTheNextAttemptStartsOver) {
  const std::vector<std::string> glossOrder = {"CreateProgram VandruBumpGloss_ParallelLight",
                                               "CreateProgram VandruBumpGloss_SpotLight",
                                               "CreateProgram VandruBumpGlossMat_ParallelLight",
                                               "CreateProgram VandruBumpGlossMat_SpotLight",
                                               "CreateProgram VandruBump_ParallelLight",
                                               "CreateProgram VandruBump_SpotLight",
                                               "CreateProgram VandruBumpRustMat_ParallelLight",
                                               "CreateProgram VandruBumpRustMat_ParallelLight"};
  const struct {
    const char* failing;
    size_t madeBefore;
  } cases[] = {{"VandruBumpGloss_ParallelLight", 0},
               {"VandruBumpGlossMat_SpotLight", 3},
               {"VandruBumpRustMat_ParallelLight", 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    Kiv::RenderKernel kernel(nullptr, 8.0f);
    Kiv::Display& display = *kernel.GetDisplay();
    Kiv::Ref<Kiv::VandruBumpGlossMaterialPlugin> gloss(new Kiv::VandruBumpGlossMaterialPlugin);
    display.GetVertexProgramManager()->FailCreation(c.failing);
    display.GetTextureCombinerManager()->FailCreation(c.failing);
    EXPECT_FALSE(gloss->AcquireSharedResources(&kernel));
    EXPECT_EQ(display.GetRecord(),
              std::vector<std::string>(glossOrder.begin(), glossOrder.begin() + c.madeBefore));
    EXPECT_FALSE(gloss->GetPrograms().parallelVertex || gloss->GetPrograms().spotPixel ||
                 gloss->GetRustPrograms().parallelVertex);
    EXPECT_TRUE(gloss->GetAlphaBlendCache()) << "the caches stay";

    display.GetVertexProgramManager()->ClearFailures();
    display.GetTextureCombinerManager()->ClearFailures();
    display.ClearRecord();
    ASSERT_TRUE(gloss->AcquireSharedResources(&kernel));
    EXPECT_EQ(display.GetRecord(), glossOrder);
    EXPECT_EQ(gloss->GetRustPrograms().spotPixel->GetName().Str(),
              "VandruBumpRustMat_ParallelLight");
    EXPECT_TRUE(gloss->AcquireSharedResources(&kernel));
    EXPECT_EQ(display.GetRecord().size(), glossOrder.size()) << "made once";
  }

  Kiv::RenderKernel kernel(nullptr, 8.0f);
  kernel.GetDisplay()->RemoveProgramManagers();
  EXPECT_FALSE(Kiv::VandruBumpMaterialPlugin().AcquireSharedResources(&kernel));
  kernel.RemoveDisplay();
  EXPECT_FALSE(Kiv::VandruBumpEnvMaterialPlugin().AcquireSharedResources(&kernel));
}

// Texture-stage states come from the presets; a refused one gives back
// what was made before it, and the plug-ins give theirs back when they die.
TEST(MaterialPlugins, RefusedStageStateGivesBackTheOnesBefore) {
  Kiv::RenderKernel kernel(nullptr, 8.0f);
  Kiv::Display& display = *kernel.GetDisplay();
  {
    Kiv::Ref<Kiv::VandruMultiPFXMaterialPlugin> multi(new Kiv::VandruMultiPFXMaterialPlugin);
    display.RefuseStageState(2);
    EXPECT_FALSE(multi->AcquireRenderingCaches(&kernel));
    EXPECT_EQ(multi->GetStage0State(), 0u);
    EXPECT_EQ(display.GetLiveStageStateCount(), 0u);
    ASSERT_TRUE(multi->AcquireRenderingCaches(&kernel));
    EXPECT_EQ(display.GetStageState(multi->GetStage0State())->colour, Kiv::MultiPFXColourArgs1);
    EXPECT_EQ(display.GetStageState(multi->GetStage1State())->alpha, Kiv::MultiPFXAlphaArgs2);

    Kiv::Ref<Kiv::VandruGlossRustMaterialPlugin> rust(new Kiv::VandruGlossRustMaterialPlugin);
    display.RefuseStageState(3);
    EXPECT_FALSE(rust->CreatePluginResources(&kernel));
    EXPECT_EQ(rust->GetStateCount(), 0u);
    EXPECT_EQ(display.GetLiveStageStateCount(), 2u);
    ASSERT_TRUE(rust->CreatePluginResources(&kernel));
    EXPECT_EQ(rust->GetStateCount(), 4u);
    const Kiv::TextureArgs* alphas[] = {&Kiv::GlossRustAlphaArgs1, &Kiv::GlossRustAlphaArgs2,
                                        &Kiv::GlossRustAlphaArgs3, &Kiv::GlossRustAlphaArgs4};
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(display.GetStageState(rust->GetStates()[i])->alpha, *alphas[i]);

    Kiv::Ref<Kiv::VandruOneTexNoAlphaMaterialPlugin> noAlpha(
        new Kiv::VandruOneTexNoAlphaMaterialPlugin);
    display.RefuseStageState(1);
    EXPECT_TRUE(noAlpha->CreatePluginResources(&kernel)) << "usable without its state";
    EXPECT_EQ(noAlpha->GetState(), 0u);
    noAlpha->CreatePluginResources(&kernel);
    EXPECT_EQ(display.GetStageState(noAlpha->GetState())->colour, Kiv::GlossRustColourArgs1);
    EXPECT_EQ(display.GetLiveStageStateCount(), 7u);
  }
  EXPECT_EQ(display.GetLiveStageStateCount(), 0u);
  EXPECT_FALSE(Kiv::VandruMultiPFXMaterialPlugin().AcquireRenderingCaches(nullptr))
      << "no kernel is a failure, not a success with nothing made";
  EXPECT_FALSE(Kiv::VandruGlossRustMaterialPlugin().CreatePluginResources(nullptr));
}

}  // namespace
