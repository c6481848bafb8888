// What the program's materials draw, as the recording display shows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MaterialTestSupport.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/VandruBumpEnvMaterial.h"
#include "render/materials/VandruBumpGlossMaterial.h"
#include "render/materials/VandruGlossRustMaterial.h"
#include "render/materials/VandruGroundBaseMaterial.h"
#include "render/materials/VandruMultiPFXMaterial.h"
#include "render/materials/VandruOneTexNoAlphaMaterial.h"

namespace {

bool Has(const std::vector<std::string>& record, const std::string& line) {
  return std::find(record.begin(), record.end(), line) != record.end();
}

size_t Count(const std::vector<std::string>& record, const std::string& line) {
  return size_t(std::count(record.begin(), record.end(), line));
}

Kiv::Ref<Kiv::GeometryChunk> Chunk(Kiv::Material& material, uint32_t indices) {
  return Kiv::Ref<Kiv::GeometryChunk>(
      material.CreateGeometryChunk(4, 2, indices, 0, 0, Kiv::StandardChunkHint(2, 2)));
}

// Gloss draws only while visible (amount x (1 - 2 RustAge) above 1/255).
TEST(MaterialDraws, BumpGlossDrawsOnlyVisibleGloss) {
  const struct {
    float amount, rustAge;
    size_t draws;
  } cases[] = {{0.0f, 0.0f, 0}, {1.0f, 0.5f, 0}, {1.0f, 0.75f, 0}, {1.0f, 0.25f, 2}};
  materialtest::Engine engine;
  Kiv::Display& display = engine.display();
  auto gloss = engine.Make<Kiv::VandruBumpGlossMaterial>("tbumpgloss");
  ASSERT_TRUE(gloss);
  auto chunk = Chunk(*gloss, 6);
  EXPECT_EQ(chunk->GetChunkProperty(Kiv::PString("RustAge"), -1.0f), 0.0f);
  materialtest::Lights lights;
  Kiv::ViewPort viewport;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.amount) + " " + std::to_string(c.rustAge));
    gloss->SetAmount(c.amount);
    chunk->SetChunkProperty(Kiv::PString("RustAge"), c.rustAge);
    const Kiv::Display::State before = display.GetState();
    const Kiv::DisplayMaterial colours = gloss->GetDisplayMaterial();
    display.ClearRecord();
    gloss->RenderChunk(&display, &viewport, chunk.get(), &lights.both, nullptr, 0);
    EXPECT_EQ(display.GetDraws().size(), c.draws);
    EXPECT_EQ(display.GetState(), before);
    EXPECT_EQ(gloss->GetDisplayMaterial(), colours) << "ambient colour put back";
    EXPECT_TRUE(Has(display.GetRecord(), "Texture 3 (shared 0)"));
    if (c.draws == 0) continue;
    const auto& record = display.GetRecord();
    EXPECT_TRUE(Has(record, "PixelConstant VandruBumpGlossMat_ParallelLight 2 0.5 0.5 0.5 0.5"));
    EXPECT_TRUE(Has(record, "PixelConstant VandruBumpGlossMat_SpotLight 2 0.5 0.5 0.5 0.5"));
    EXPECT_TRUE(Has(record, "PixelConstant VandruBumpGlossMat_ParallelLight 3 0 0 0 0.75"));
    EXPECT_TRUE(Has(record, "AlphaBlendFunction 1 1"));
  }
  display.ClearRecord();
  gloss->RenderPrimitives(&display, &viewport, chunk.get(), &lights.both, nullptr, 0, nullptr, 3, 4,
                          0);
  EXPECT_TRUE(display.GetRecord().empty()) << "no range draws";
}

// Unit 3 is an empty cube unit unless a provider gives a cube map.
TEST(MaterialDraws, BumpEnvBindsTheProvidedCubeMap) {
  materialtest::Engine engine;
  Kiv::Display& display = engine.display();
  auto env = engine.Make<Kiv::VandruBumpEnvMaterial>("tbumpenv");
  ASSERT_TRUE(env);
  auto chunk = Chunk(*env, 6);
  materialtest::Lights lights;
  Kiv::ViewPort viewport;
  static Kiv::MaterialTexture sky;
  sky.name = Kiv::PString("sky");
  sky.kind = 1;
  for (const bool provided : {false, true}) {
    SCOPED_TRACE(provided);
    Kiv::VandruBumpEnvMaterial::SetEnvironmentMapProvider(
        provided ? +[](Kiv::Material*, Kiv::ViewPort*) { return &sky; } : nullptr);
    const Kiv::Display::State before = display.GetState();
    display.ClearRecord();
    env->RenderChunk(&display, &viewport, chunk.get(), &lights.parallelOnly, nullptr, 0);
    EXPECT_EQ(display.GetState(), before);
    const auto& record = display.GetRecord();
    EXPECT_TRUE(Has(record, provided ? "Texture 3 sky" : "CubeTexture 3 -"));
    EXPECT_TRUE(Has(record, "TextureTransform 1 1 0 0 0 0 0 1 0 0 -1 0 0 0 0 0 1"));
    EXPECT_TRUE(Has(record, "TextureTransform 1 reset"));
    ASSERT_EQ(display.GetDraws().size(), 1u);
    EXPECT_EQ(display.GetDraws()[0].pixelProgram.Str(), "VandruBumpEnvMat_ParallelLight");
  }
  Kiv::VandruBumpEnvMaterial::SetEnvironmentMapProvider(nullptr);
  display.ClearRecord();
  env->RenderPrimitives(&display, &viewport, chunk.get(), nullptr, nullptr, 0, nullptr, 3, 4, 0);
  EXPECT_TRUE(display.GetRecord().empty()) << "no range draws";
}

// Bump: every parallel pass, then the spot passes; gloss-rust: glossy
// chunks, then rusted ones, none that is neither; no-alpha: each once.
TEST(MaterialDraws, ListDrawsSetTheStateOnce) {
  materialtest::Engine engine;
  Kiv::Display& display = engine.display();
  materialtest::Lights lights;
  Kiv::ViewPort viewport;
  const struct {
    const char* type;
    std::vector<float> rustAges;
    std::vector<const Kiv::DisplayLightList*> lights;
    std::vector<uint32_t> drawnIndexCounts;  // chunk i has 3 (i + 1) indices
    const char* oncePerList;
  } cases[] = {
      {"tbumptex", {0, 0}, {&lights.parallelOnly, &lights.both}, {3, 6, 6}, "Texture 1 (shared 0)"},
      {"tglossrust",
       {0, 0.75f, 0.499f, 0.25f},
       {nullptr, nullptr, nullptr, nullptr},
       {3, 12, 6},
       "Texture 1 chrome"},
      {"tonetexnoalpha", {0, 0}, {nullptr, &lights.both}, {3, 6}, "ColorMaterialMode 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    Kiv::Ref<Kiv::Material> material = engine.Make(c.type);
    ASSERT_TRUE(material);
    if (auto* rust = dynamic_cast<Kiv::VandruGlossRustMaterial*>(material.get())) {
      Kiv::Ref<Kiv::MaterialTexture> chrome(new Kiv::MaterialTexture);
      chrome->name = Kiv::PString("chrome");
      rust->SetReflectionTexture(chrome.get());
      rust->SetGlossAmount(1.0f);
    }
    std::vector<Kiv::Ref<Kiv::GeometryChunk>> held;
    std::vector<Kiv::GeometryChunk*> chunks;
    std::vector<const Kiv::Matrix4*> matrices;
    for (size_t i = 0; i < c.rustAges.size(); ++i) {
      held.push_back(Chunk(*material, uint32_t(3 * (i + 1))));
      held.back()->SetChunkProperty(Kiv::PString("RustAge"), c.rustAges[i]);
      chunks.push_back(held.back().get());
      matrices.push_back(nullptr);
    }
    std::vector<const Kiv::DisplayLightList*> lists = c.lights;
    const Kiv::Display::State before = display.GetState();
    display.ClearRecord();
    material->RenderNumChunks(&display, &viewport, chunks.data(), lists.data(), matrices.data(),
                              uint32_t(chunks.size()), 0);
    std::vector<uint32_t> counts;
    for (const auto& draw : display.GetDraws()) counts.push_back(draw.count);
    EXPECT_EQ(counts, c.drawnIndexCounts);
    EXPECT_EQ(Count(display.GetRecord(), c.oncePerList), 1u);
    EXPECT_EQ(display.GetState(), before);
  }
}

TEST(MaterialDraws, ChunksFollowTheHint) {
  const struct {
    const char* type;
    uint32_t vertexMode, indexMode, optionFlags, options, hintFlags;
    bool unsharedCapability;
    const char* layout;
    bool dynamic, shared, dynamicIndices, unshareGranted, rustAge;
  } rows[] = {
      {"tbumptex", 2, 2, 0, 0, 0, false, "PNTA", false, true, false, false, false},
      {"tbumptex", 1, 1, 0, 0, 0, false, "PNTA", true, true, true, false, false},
      {"tbumptex", 2, 2, 1, 2, 0, false, "PNTA", true, false, false, true, false},
      {"tbumptex", 0, 2, 1, 2, 0, false, "PNTA", false, true, false, true, false},
      {"tbumpgloss", 2, 2, 0, 0, 0, false, "PNTA", false, false, false, false, true},
      {"tbumpenv", 2, 2, 0, 0, 1, false, "PNTA", false, true, false, false, false},
      {"tonetexnoalpha", 2, 2, 0, 0, 0, false, "PNT", false, true, false, false, false},
      {"tonetexnoalpha", 2, 1, 1, 1, 0, false, "PCT+normals", false, false, true, false, false},
      {"tonetexnoalpha", 2, 2, 1, 2, 0, false, "PNT", true, false, false, false, false},
      {"tonetexnoalpha", 2, 2, 1, 2, 0, true, "PNT", true, false, false, true, false},
      {"tmpfx", 1, 2, 0, 0, 0, false, "PCT+normals", true, false, false, false, false},
      {"tglossrust", 2, 2, 0, 0, 0, false, "standard", false, true, false, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.type) + " row " + std::to_string(&row - rows));
    materialtest::Engine engine;
    engine.display().SetCapability(Kiv::VandruOneTexNoAlphaMaterial::kCapabilityUnsharedVertices,
                                   row.unsharedCapability);
    Kiv::Ref<Kiv::Material> material = engine.Make(row.type);
    Kiv::StandardChunkHint hint(row.vertexMode, row.indexMode);
    hint.optionFlags = row.optionFlags;
    hint.options = row.options;
    hint.flags = row.hintFlags;
    Kiv::Ref<Kiv::GeometryChunk> chunk(material->CreateGeometryChunk(4, 2, 6, 2, 0, hint));
    ASSERT_TRUE(chunk);
    const std::string layout = chunk->GetLayout() == nullptr
                                   ? "standard"
                                   : std::string(chunk->GetLayout()->name) +
                                         (chunk->HasSeparateNormals() ? "+normals" : "");
    EXPECT_EQ(layout, row.layout);
    EXPECT_EQ(chunk->IsVertexDataDynamic(), row.dynamic);
    EXPECT_EQ(chunk->IsVertexDataShared(), row.shared);
    EXPECT_EQ(chunk->IsIndexDataDynamic(), row.dynamicIndices);
    EXPECT_EQ((chunk->GetHint().options & 4) != 0, row.unshareGranted);
    EXPECT_EQ(chunk->GetChunkProperty(Kiv::PString("RustAge"), -1.0f), row.rustAge ? 0.0f : -1.0f);
  }
}

TEST(MaterialDraws, MultiTextureSharesItsVertexTypeAndNeedsBothStates) {
  materialtest::Engine engine;
  Kiv::Display& display = engine.display();
  auto material = engine.Make<Kiv::VandruMultiPFXMaterial>("tmpfx");
  ASSERT_TRUE(material);
  display.ClearRecord();
  auto first = Chunk(*material, 6), second = Chunk(*material, 6);
  EXPECT_EQ(display.GetRecord(), std::vector<std::string>{"RegisterVertexType 99"});
  ASSERT_EQ(first->GetVertexType(), second->GetVertexType());
  const Kiv::VertexType& type = *first->GetVertexType();
  ASSERT_EQ(type.GetStreams().size(), 1u);
  std::vector<uint32_t> items;
  for (const auto& item : type.GetStreams()[0]) items.push_back(item.type);
  EXPECT_EQ(items, (std::vector<uint32_t>{1, 2, 15}));
  ASSERT_EQ(type.GetAliases().size(), 1u);
  EXPECT_EQ(std::pair(type.GetAliases()[0].type, type.GetAliases()[0].aliasOf),
            std::pair(16u, 15u));
  EXPECT_EQ(material->SetTexture(12, nullptr, 1.0f), 3u);

  Kiv::Ref<Kiv::VandruMultiPFXMaterial> halfMade(
      new Kiv::VandruMultiPFXMaterial(nullptr, nullptr, nullptr, nullptr, 5, 0));
  for (Kiv::VandruMultiPFXMaterial* each : {material.get(), halfMade.get()}) {
    const Kiv::Display::State before = display.GetState();
    display.ClearRecord();
    each->RenderChunk(&display, nullptr, first.get(), nullptr, nullptr, 0);
    size_t applied = 0;
    for (const auto& line : display.GetRecord()) applied += line.rfind("ApplyStageState", 0) == 0;
    EXPECT_EQ(applied, each == material.get() ? 2u : 0u);
    EXPECT_EQ(display.GetDraws().size(), 1u);
    EXPECT_EQ(display.GetState(), before);
  }
}

// Ground-base binds for pass 0 only; no-fog culls by its two-sided flag.
TEST(MaterialDraws, FixedFunctionStatesArePutBack) {
  materialtest::Engine engine;
  Kiv::Display& display = engine.display();
  display.SetFogMode(2);
  Kiv::Ref<Kiv::VandruGroundBaseMaterial> ground(
      new Kiv::VandruGroundBaseMaterial(&engine.manager, nullptr, nullptr));
  display.ClearRecord();
  ground->Bind(&display, nullptr, 1);
  EXPECT_TRUE(display.GetRecord().empty());
  const Kiv::Display::State before = display.GetState();
  display.SetAlphaTest(true);
  ground->Bind(&display, nullptr, 0);
  EXPECT_FALSE(display.GetAlphaTest());
  ground->Unbind(&display, nullptr, 0);
  EXPECT_TRUE(display.GetAlphaTest()) << "the alpha test put back";
  display.SetAlphaTest(false);
  EXPECT_EQ(display.GetState(), before);

  Kiv::Ref<Kiv::Material> noFog = engine.Make("nofogtex");
  auto chunk = Chunk(*noFog, 3);
  for (const bool twoSided : {false, true}) {
    SCOPED_TRACE(twoSided);
    noFog->SetFlags(twoSided ? Kiv::Material::kTwoSided : 0);
    display.ClearRecord();
    noFog->RenderChunk(&display, nullptr, chunk.get(), nullptr, nullptr, 0);
    const auto& record = display.GetRecord();
    EXPECT_TRUE(Has(record, "FogMode 0"));
    EXPECT_TRUE(Has(record, twoSided ? "CullMode 0" : "CullMode 1"));
    EXPECT_TRUE(Has(record, "AlphaBlendFunction 4 5"));
    EXPECT_EQ(display.GetState(), before);
  }
}

}  // namespace
