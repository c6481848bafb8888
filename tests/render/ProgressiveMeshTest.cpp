// Progressive meshes: indexed mesh files with an optional PMIN chunk.
#include <gtest/gtest.h>

#include "tests/render/MeshFixtureWriter.h"
#include "tests/render/MeshTestSupport.h"

namespace {

using meshfixture::MeshSpec;

TEST(ProgressiveMesh, WithoutProgressiveChunkLoadsAsIndexedMeshWithoutTextureScale) {
  MeshSpec spec;
  spec.attachments = true;
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(spec);
  const auto progressive = meshtest::LoadProgressive(bytes);
  const auto indexed = meshtest::LoadIndexed(bytes);
  ASSERT_EQ(progressive.result, kMeshOk);
  ASSERT_EQ(indexed.result, kMeshOk);
  EXPECT_EQ(progressive.mesh->GetNumChunks(), indexed.mesh->GetNumChunks());
  EXPECT_EQ(progressive.mesh->GetNumVertices(), indexed.mesh->GetNumVertices());
  EXPECT_EQ(progressive.mesh->GetAttachments().size(), 1u);
  EXPECT_EQ(progressive.mesh->GetBoundsMax(), indexed.mesh->GetBoundsMax());
  EXPECT_GT(indexed.mesh->GetTextureScale(), 0.0f);
  EXPECT_EQ(progressive.mesh->GetTextureScale(), 0.0f);
}

TEST(ProgressiveMesh, ProgressiveChunkIsCheckedAgainstItsTotals) {
  struct Case {
    const char* what;
    void (*change)(MeshSpec&);
    uint32_t result;
  };
  const Case cases[] = {
      {"well formed", [](MeshSpec&) {}, kMeshOk},
      {"version 100 leaves the chunk unread", [](MeshSpec& s) { s.pminSpec.version = 100; },
       kMeshFileFormatError},
      {"before ATCH, which then trails", [](MeshSpec& s) { s.pminBeforeAttachments = true; },
       kMeshFileFormatError},
      {"records claim more values", [](MeshSpec& s) { s.pminSpec.recordValueCounts.assign(2, 2); },
       kMeshFileFormatError},
      {"groups claim more records", [](MeshSpec& s) { s.pminSpec.groupRecordCounts = {3}; },
       kMeshFileFormatError},
      {"levels claim more groups", [](MeshSpec& s) { s.pminSpec.levelGroupCounts.assign(2, 1); },
       kMeshFileFormatError},
      {"huge counts", [](MeshSpec& s) { s.pminSpec.recordValueCounts.assign(2, 0xFFFFFFFFu); },
       kMeshFileFormatError},
  };
  for (const Case& c : cases) {
    MeshSpec spec;
    spec.attachments = true;
    spec.pmin = true;
    c.change(spec);
    EXPECT_EQ(meshtest::LoadProgressive(meshfixture::WriteMesh(spec)).result, c.result) << c.what;
  }
}

TEST(ProgressiveMesh, CountsBeyondTheBytesAreRefused) {
  MeshSpec spec;
  spec.pmin = true;
  std::vector<uint8_t> bytes = meshfixture::WriteMesh(spec);
  // The value count is the first word after the PMIN header.
  const size_t pmin = std::string(bytes.begin(), bytes.end()).rfind("PMIN");
  ASSERT_NE(pmin, std::string::npos);
  for (size_t i = 0; i < 4; ++i) bytes[pmin + 12 + i] = 0xFF;
  EXPECT_EQ(meshtest::LoadProgressive(bytes).result, kMeshFileFormatError);
}

TEST(ProgressiveMesh, LoadOpensItsFile) {
  VandruProgressiveMeshDefinition mesh;
  EXPECT_EQ(mesh.Load(nullptr, &meshtest::Manager(), nullptr, "/nonexistent/x.pm", 0),
            kMeshFileOpenError);
  EXPECT_EQ(mesh.Load(nullptr, nullptr, nullptr, "/nonexistent/x.pm", 0), kMeshNoMaterialManager);
}

}  // namespace
