#include "kiv/display/Display.h"

#include <gtest/gtest.h>

#include "kiv/ReferenceCount.h"

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

TEST(Display, StageStatesAreHandlesThatCanBeRefusedAndGivenBack) {
  Kiv::Display display;
  const Kiv::TextureArgs colour(1, 1, 0, 7, {0, 0, 2}, {0, 0, 0}, {0, 0, 3}, {});
  const Kiv::TextureArgs alpha(1, 1, 1, 0, {0, 1, 1}, {}, {}, {});
  const uint32_t first = display.CreateTextureStageState(colour, alpha);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(display.GetStageState(first)->colour, colour);
  display.RefuseStageState(2);
  const uint32_t second = display.CreateTextureStageState(colour, alpha);
  EXPECT_NE(second, 0u);
  EXPECT_EQ(display.CreateTextureStageState(colour, alpha), 0u) << "the second from the request";
  EXPECT_NE(display.CreateTextureStageState(colour, alpha), 0u) << "only one is refused";
  display.ReleaseTextureStageState(second);
  EXPECT_EQ(display.GetStageState(second), nullptr);
  EXPECT_EQ(display.GetLiveStageStateCount(), 2u);
  display.ApplyTextureStageState(first);
  display.ApplyTextureStageState(second);
  display.ResetTextureStage(1);
  EXPECT_EQ(display.GetRecord(),
            (std::vector<std::string>{"ApplyStageState 1", "ResetTextureStage 1"}));
}

// Programs come from registered texts; constants and draws go on the record.
TEST(Display, ProgramsFromRegisteredTextsRecordConstantsAndDraws) {
  Kiv::Display display;
  Kiv::VertexProgramManager::RegisterBuiltInPrograms(
      Kiv::PString("TestSet"), "vertexProgram(TestSet)\n{\n  program Lit : PNTA : Fog;\n}\n");
  Kiv::TextureCombinerManager::RegisterBuiltInPrograms(
      Kiv::PString("TestPixel"),
      "header(TestPixel)\n{\n  reg  2  (Spec)  - 0.5, 0.25, 1.0, 0.75;\n}\n");
  auto* vertexPrograms = display.GetVertexProgramManager();
  auto* combiners = display.GetTextureCombinerManager();
  EXPECT_EQ(vertexPrograms->CreateVertexProgram(Kiv::PString("TestSet"), Kiv::PString("Unlit"),
                                                nullptr, 99, 0),
            nullptr);
  EXPECT_EQ(combiners->CreateTextureCombiner(Kiv::PString("NoText"), nullptr, 0), nullptr);
  Kiv::Ref<Kiv::VertexProgram> vertex(vertexPrograms->CreateVertexProgram(
      Kiv::PString("TestSet"), Kiv::PString("Lit"), nullptr, 99, 0));
  Kiv::Ref<Kiv::TextureCombiner> pixel(
      combiners->CreateTextureCombiner(Kiv::PString("TestPixel"), nullptr, 0));
  ASSERT_TRUE(vertex && pixel);
  EXPECT_EQ(pixel->GetConstant(2), (Kiv::Vector4{0.5f, 0.25f, 1.0f, 0.75f}));
  combiners->FailCreation("TestPixel");
  EXPECT_EQ(combiners->CreateTextureCombiner(Kiv::PString("TestPixel"), nullptr, 0), nullptr);

  int chunkA = 0, chunkB = 0;
  vertex->SetLocalConstant(7, {0, 0, -1, 0});
  pixel->SetConstant(0, {1, 0.5f, 0, 1});
  display.ActivateTextureCombiner(pixel.get());
  display.RecordDraw(&chunkB, vertex.get(), 0, 36);
  display.ActivateTextureCombiner(nullptr);
  display.RecordDraw(&chunkA, nullptr, 3, 6);
  display.RecordDraw(&chunkB, nullptr, 0, 36);
  display.BeginFrame();
  EXPECT_EQ(display.GetFrameCount(), 1u);
  EXPECT_EQ(
      display.GetRecord(),
      (std::vector<std::string>{
          "CreateProgram Lit", "CreateProgram TestPixel", "VertexConstant Lit 7 0 0 -1 0",
          "PixelConstant TestPixel 0 1 0.5 0 1", "PixelProgram TestPixel",
          "Draw 1 Lit TestPixel 0 36", "PixelProgram none", "Draw 2 - - 3 6", "Draw 1 - - 0 36"}));
  display.RemoveProgramManagers();
  EXPECT_EQ(display.GetVertexProgramManager(), nullptr);
}

// What a material changes and must undo shows in the state; the world
// transform and colours are recorded but are not part of it.
TEST(Display, StateCoversWhatMaterialsMustRestore) {
  Kiv::Display display;
  const Kiv::Display::State before = display.GetState();
  int texture = 0;
  display.SetTexture(1, &texture, Kiv::PString("bump.tga"));
  display.SetTextureTransform(1, Kiv::Matrix4::Translation(0, 0, 2));
  EXPECT_NE(display.GetState(), before);
  display.SetEmptyTexture(1);
  display.ResetTextureTransform(1);
  display.SetWorldTransform(Kiv::Matrix4::Translation(1, 2, 3));
  display.SetGlobalAmbient({0.25f, 0.5f, 1, 1});
  display.SetTextureStageConstant(0, {0.5f, 0.5f, 0.5f, 0.5f});
  display.SetEmptyCubeTexture(3);
  EXPECT_EQ(display.GetState(), before);
  EXPECT_EQ(
      display.GetRecord(),
      (std::vector<std::string>{
          "Texture 1 bump.tga", "TextureTransform 1 1 0 0 0 0 1 0 0 0 0 1 0 0 0 2 1", "Texture 1 -",
          "TextureTransform 1 reset", "WorldTransform 1 0 0 0 0 1 0 0 0 0 1 0 1 2 3 1",
          "GlobalAmbient 0.25 0.5 1 1", "StageConstant 0 0.5 0.5 0.5 0.5", "CubeTexture 3 -"}));
}

}  // namespace
