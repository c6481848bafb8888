#include "kiv/display/GeometryChunk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Kiv::GeometryChunk;

// Every layout serves its items interleaved at their offsets, the others
// tight or not at all, and copies made from a chunk share its vertices.
TEST(GeometryChunk, PackedLayoutsServeTheirItemsStrided) {
  const struct {
    const Kiv::PackedVertexLayout* layout;  // null: the standard chunk
    bool separateNormals;
    uint32_t vertexSize, typeId;
    int32_t position, colour, normal, uv, tangent;  // offsets, -1 absent
    uint32_t normalStride, colourStride;            // 0: absent
  } rows[] = {
      {&Kiv::PackedVertexPNT, false, 32, 18, 0, -1, 12, 24, -1, 32, 0},
      {&Kiv::PackedVertexPCT, false, 24, 19, 0, 12, -1, 16, -1, 0, 24},
      {&Kiv::PackedVertexPCT, true, 24, 19, 0, 12, -1, 16, -1, 12, 24},
      {&Kiv::PackedVertexPNTA, false, 44, 20, 0, -1, 12, 24, 32, 44, 0},
      {nullptr, false, 36, 0, -1, -1, -1, -1, -1, 12, 4},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.layout ? row.layout->name : "standard") +
                 (row.separateNormals ? " with normals" : ""));
    const Kiv::StandardChunkHint hint(2, 2);
    Kiv::Ref<GeometryChunk> chunk(
        row.layout ? GeometryChunk::CreateSingleStream(*row.layout, row.separateNormals, 4, 2, 6,
                                                       2, 0, hint)
                   : GeometryChunk::Create(4, 2, 6, 2, 0, hint));
    ASSERT_TRUE(chunk);
    EXPECT_EQ(chunk->GetVertexSize(), row.vertexSize);
    EXPECT_EQ(chunk->GetVertexTypeID(), row.typeId);
    EXPECT_EQ(chunk->AssignVertexType(nullptr), row.typeId);
    EXPECT_EQ(chunk->GetItemOffset(GeometryChunk::kPosition), row.position);
    EXPECT_EQ(chunk->GetItemOffset(GeometryChunk::kColor), row.colour);
    EXPECT_EQ(chunk->GetItemOffset(GeometryChunk::kNormal), row.normal);
    EXPECT_EQ(chunk->GetItemOffset(GeometryChunk::kTexCoord0), row.uv);
    EXPECT_EQ(chunk->GetItemOffset(GeometryChunk::kTangent), row.tangent);
    EXPECT_EQ(chunk->GetVector3Array(GeometryChunk::kNormal).stride, row.normalStride);
    EXPECT_EQ(chunk->GetColorArray(GeometryChunk::kColor).stride, row.colourStride);
    EXPECT_FALSE(chunk->GetVector2Array(GeometryChunk::kPosition)) << "wrong width";
    EXPECT_FALSE(chunk->GetColorArray(GeometryChunk::kPosition)) << "wrong kind";
    EXPECT_EQ(chunk->GetFloats(GeometryChunk::kPosition) != nullptr, row.layout == nullptr)
        << "tight arrays only";
    if (row.layout != nullptr) {
      const auto position = chunk->GetVector3Array(GeometryChunk::kPosition);
      EXPECT_EQ(position.data, chunk->GetVertexArray(0, 0));
      EXPECT_EQ(position.stride, row.vertexSize);
    }

    // Positions written through one handle show through the shared copy.
    chunk->GetVector3Array(GeometryChunk::kPosition)[3][1] = 5.0f;
    const uint32_t usesBefore = chunk->GetVertexBlockUses();
    Kiv::Ref<GeometryChunk> copy(chunk->CreateInstance());
    EXPECT_EQ(copy->GetVector3Array(GeometryChunk::kPosition)[3][1], 5.0f);
    if (row.layout != nullptr) {
      EXPECT_EQ(chunk->GetVertexBlockUses(), usesBefore + 1);
    }
    Kiv::Ref<GeometryChunk> fresh(chunk->CreateInstance(2, 1, 3, 1));
    EXPECT_EQ(fresh->GetLayout(), row.layout);
    EXPECT_EQ(fresh->GetNumVertices(), 2u);

    // A chunk of its own vertices no longer writes through to the copy;
    // resizing keeps what fits.
    ASSERT_TRUE(copy->DuplicateVertexArray());
    copy->GetVector3Array(GeometryChunk::kPosition)[3][1] = 6.0f;
    EXPECT_EQ(chunk->GetVector3Array(GeometryChunk::kPosition)[3][1], 5.0f);
    ASSERT_TRUE(copy->ResizeVertexArray(6));
    EXPECT_EQ(copy->GetNumVertices(), 6u);
    EXPECT_EQ(copy->GetVector3Array(GeometryChunk::kPosition)[3][1], 6.0f);
    EXPECT_EQ(copy->GetVector3Array(GeometryChunk::kPosition)[5][1], 0.0f);
  }
}

// Appending keeps both chunks' vertices, normals and indices (moved past
// the first chunk's vertices), and refuses chunks of another layout.
TEST(GeometryChunk, AppendChunkConcatenatesVerticesNormalsAndIndices) {
  const Kiv::StandardChunkHint hint(2, 2);
  auto make = [&](float base) {
    Kiv::Ref<GeometryChunk> chunk(
        GeometryChunk::CreateSingleStream(Kiv::PackedVertexPCT, true, 2, 1, 2, 1, 0, hint));
    for (uint32_t v = 0; v < 2; ++v) {
      chunk->GetVector3Array(GeometryChunk::kNormal)[v][2] = base + float(v);
      chunk->GetVector3Array(GeometryChunk::kPosition)[v][0] = base - float(v);
      chunk->GetIndexArray()[v] = uint16_t(1 - v);
    }
    return chunk;
  };
  auto first = make(1.0f), second = make(10.0f);
  Kiv::Ref<GeometryChunk> shared(first->CreateInstance());
  ASSERT_TRUE(first->AppendChunk(nullptr, *second));
  EXPECT_EQ(first->GetNumVertices(), 4u);
  EXPECT_EQ(first->GetNumFaces(), 2u);
  EXPECT_EQ(first->GetNumFaceNormals(), 2u);
  const float normals[] = {1, 2, 10, 11}, positions[] = {1, 0, 10, 9};
  const uint16_t indices[] = {1, 0, 3, 2};
  for (uint32_t v = 0; v < 4; ++v) {
    EXPECT_EQ(first->GetVector3Array(GeometryChunk::kNormal)[v][2], normals[v]);
    EXPECT_EQ(first->GetVector3Array(GeometryChunk::kPosition)[v][0], positions[v]);
    EXPECT_EQ(first->GetIndexArray()[v], indices[v]);
  }
  EXPECT_EQ(shared->GetNumVertices(), 2u) << "the copy keeps the block it shared";

  Kiv::Ref<GeometryChunk> other(
      GeometryChunk::CreateSingleStream(Kiv::PackedVertexPNT, false, 2, 1, 2, 1, 0, hint));
  EXPECT_FALSE(first->AppendChunk(nullptr, *other));
  EXPECT_EQ(first->GetNumVertices(), 4u);
}

// Only the arrays the creator marks as filled start unset; everything else,
// and every array of an instance made later, starts zeroed. Dirty blocks
// of the same sizes are freed first so that unzeroed memory would show.
TEST(GeometryChunk, OnlyArraysMarkedFilledStartUnset) {
  Kiv::StandardChunkHint hint(2, 2);
  hint.flags = Kiv::StandardChunkHint::kSkinned;
  hint.filledElements = 1u << GeometryChunk::kPosition | 1u << GeometryChunk::kNormal;
  hint.filledIndices = true;
  const uint32_t vertices = 64, indices = 96, faceNormals = 32;
  const auto dirty = [&] {
    Kiv::Ref<GeometryChunk> chunk(GeometryChunk::Create(vertices, 32, indices, faceNormals, 0,
                                                        hint));
    for (uint32_t element : {GeometryChunk::kPosition, GeometryChunk::kNormal,
                             GeometryChunk::kTexCoord0}) {
      const auto items = chunk->GetItemArray(element);
      for (uint32_t v = 0; v < vertices; ++v)
        std::memset(items[v], 0xA5, GeometryChunk::ElementWidth(element) * 4);
    }
    std::memset(chunk->GetIndexArray(), 0xA5, 2 * indices);
    return chunk;
  };
  const auto zeroed = [&](GeometryChunk& chunk, bool marked) {
    const uint32_t words[] = {GeometryChunk::kColor, GeometryChunk::kBoneIndices,
                              GeometryChunk::kPackedWeights};
    for (uint32_t element : words) {
      const uint32_t* w = chunk.GetWords(element);
      ASSERT_NE(w, nullptr) << element;
      for (uint32_t v = 0; v < vertices; ++v) ASSERT_EQ(w[v], 0u) << element;
    }
    const float* uv = chunk.GetFloats(GeometryChunk::kTexCoord0);
    for (uint32_t i = 0; i < 2 * vertices; ++i) ASSERT_EQ(uv[i], 0.0f);
    for (uint32_t i = 0; i < 3 * faceNormals; ++i) ASSERT_EQ(chunk.GetFaceNormalArray()[i], 0.0f);
    if (marked) return;
    for (uint32_t i = 0; i < 3 * vertices; ++i) {
      ASSERT_EQ(chunk.GetFloats(GeometryChunk::kPosition)[i], 0.0f);
      ASSERT_EQ(chunk.GetFloats(GeometryChunk::kNormal)[i], 0.0f);
    }
    for (uint32_t i = 0; i < indices; ++i) ASSERT_EQ(chunk.GetIndexArray()[i], 0);
  };
  dirty();
  Kiv::Ref<GeometryChunk> chunk(GeometryChunk::Create(vertices, 32, indices, faceNormals, 0, hint));
  ASSERT_TRUE(chunk);
  zeroed(*chunk, true);
  dirty();
  Kiv::Ref<GeometryChunk> instance(chunk->CreateInstance(vertices, 32, indices, faceNormals));
  ASSERT_TRUE(instance);
  zeroed(*instance, false);
}

}  // namespace
