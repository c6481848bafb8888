// Meshes naming each material kind, loaded through the program's plug-ins.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MaterialTestSupport.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/ViewPort.h"

namespace {

const char* const kKinds[] = {"tbumpgloss", "tbumptex", "tbumpenv", "tonetexnoalpha",
                              "tglossrust", "tmpfx",    "nofogtex", "groundbase"};

std::string LayoutOf(const Kiv::GeometryChunk& chunk) {
  if (chunk.GetLayout() == nullptr) return "standard";
  return std::string(chunk.GetLayout()->name) + (chunk.HasSeparateNormals() ? "+normals" : "");
}

// What a chunk draws with a parallel and a spot light: one "vertex/pixel"
// program pair per draw.
std::vector<std::string> DrawsOf(Kiv::Display& display, Kiv::Material& material,
                                 Kiv::GeometryChunk& chunk) {
  const materialtest::Lights lights;
  Kiv::ViewPort viewport;
  const Kiv::Matrix4 matrix = Kiv::Matrix4::Translation(0, 0, 5);
  const Kiv::Display::State before = display.GetState();
  display.ClearRecord();
  material.RenderChunk(&display, &viewport, &chunk, &lights.both, &matrix, 0);
  EXPECT_EQ(display.GetState(), before) << "the display is left as found";
  std::vector<std::string> draws;
  for (const auto& draw : display.GetDraws()) {
    EXPECT_EQ(draw.count, chunk.GetNumIndices());
    draws.push_back((draw.vertexProgram.Empty() ? "-" : draw.vertexProgram.Str()) + "/" +
                    (draw.pixelProgram.Empty() ? "-" : draw.pixelProgram.Str()));
  }
  return draws;
}

// The fixture's cube vertex 5 as read into the chunk: position, texture
// coordinate, normal (0, 1, 0), the extra vector (7, 7, 7) as the tangent
// of the PNTA layout, the default colour where the layout has one.
void ExpectCubeVertex(Kiv::GeometryChunk& chunk) {
  const auto position = chunk.GetVector3Array(Kiv::GeometryChunk::kPosition);
  ASSERT_TRUE(position);
  for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(position[5][axis], meshfixture::Position(5, axis));
  EXPECT_EQ(chunk.GetVector2Array(Kiv::GeometryChunk::kTexCoord0)[5][0], 5.0f / 32.0f);
  if (const auto normal = chunk.GetVector3Array(Kiv::GeometryChunk::kNormal)) {
    EXPECT_EQ(normal[5][1], 1.0f);
  }
  if (const auto colour = chunk.GetColorArray(Kiv::GeometryChunk::kColor)) {
    EXPECT_EQ(*colour[5], 0xFFFFFFFFu);
  }
  const auto tangent = chunk.GetVector3Array(Kiv::GeometryChunk::kTangent);
  if (chunk.GetLayout() == &Kiv::PackedVertexPNTA) {
    ASSERT_TRUE(tangent);
    EXPECT_EQ(tangent.stride, 44u);
    EXPECT_EQ(tangent[5][2], 7.0f);
  }
}

// Each kind on a full display, one of capability 1 and one stage, and a
// bare one: the material made (the kind's own or its fallback),
// chunk layout, vertex size and type, and the draws, one line a kind in
// the golden file of the display.
TEST(MaterialKinds, EachKindGetsItsMaterialLayoutAndDraws) {
  const struct {
    std::vector<uint32_t> capabilities;
    uint32_t stages;
    const char* golden;
  } displays[] = {
      {{1, 17, 21}, 4, "kinds_full"}, {{1}, 1, "kinds_one_stage"}, {{}, 2, "kinds_bare"}};
  for (const auto& row : displays) {
    SCOPED_TRACE(row.golden);
    materialtest::Engine engine(row.capabilities, row.stages);
    uint32_t result = 0;
    auto mesh = engine.Load({std::begin(kKinds), std::end(kKinds)}, &result);
    ASSERT_EQ(result, kMeshOk);
    std::vector<std::string> lines;
    for (size_t i = 0; i < std::size(kKinds); ++i) {
      SCOPED_TRACE(kKinds[i]);
      Kiv::Material& material = *mesh->GetMaterial(uint32_t(i));
      Kiv::GeometryChunk& chunk = *mesh->GetChunk(uint32_t(i));
      EXPECT_EQ(Kiv::MaterialManager::SplitDecoratedMaterialName(material.GetRequestName(), nullptr,
                                                                 nullptr)
                    .Str(),
                kKinds[i]);
      ExpectCubeVertex(chunk);
      std::string line = std::string(kKinds[i]) + ": " + material.GetKind().Str() + " " +
                         LayoutOf(chunk) + " " + std::to_string(chunk.GetVertexSize()) + " " +
                         std::to_string(chunk.GetVertexType() ? chunk.GetVertexType()->GetId()
                                                              : chunk.GetVertexTypeID());
      for (const std::string& draw : DrawsOf(engine.display(), material, chunk)) line += " " + draw;
      lines.push_back(line);
    }
    materialtest::ExpectGolden(lines, row.golden);
  }
}

// A failed program through a mesh load; every plug-in's own failures
// (programs and stage states) are MaterialPluginsTest's.
TEST(MaterialKinds, FailedProgramRefusesTheMaterialAndTheNextLoadStartsOver) {
  materialtest::Engine engine({1, 17, 21}, 4);
  Kiv::Display& display = engine.display();
  display.GetTextureCombinerManager()->FailCreation("VandruBumpMat_ParallelLight");
  uint32_t result = 0;
  auto refused = engine.Load({"tbumptex"}, &result);
  EXPECT_EQ(result, kMeshUnsupportedMaterial);
  display.GetTextureCombinerManager()->ClearFailures();
  auto loaded = engine.Load({"tbumptex"}, &result);
  ASSERT_EQ(result, kMeshOk);
  EXPECT_EQ(loaded->GetMaterial(0)->GetKind().Str(), "tbumptex");
}

}  // namespace
