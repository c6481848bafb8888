#include "kiv/display/GeometryChunk.h"

#include <algorithm>
#include <memory>
#include <new>

#include "kiv/display/Display.h"

namespace Kiv {

uint32_t GeometryChunk::ElementWidth(uint32_t element) {
  switch (element) {
    case kPosition:
    case kNormal:
    case kExtraVector:
      return 3;
    case kColor:
    case kColor2:
    case kPackedWeights:
    case kBoneIndices:
      return 1;
    default:
      break;
  }
  if (element >= kWeights1 && element < kWeights1 + 4) return element - kWeights1 + 1;
  if (element >= kTexCoord0 && element < kTexCoord0 + kMaxTextureSets) return 2;
  return 0;
}

bool GeometryChunk::IsWordElement(uint32_t element) {
  return element == kColor || element == kColor2 || element == kPackedWeights ||
         element == kBoneIndices;
}

GeometryChunk* GeometryChunk::Create(uint32_t vertices, uint32_t faces, uint32_t indices,
                                     uint32_t faceNormals, uint32_t kind,
                                     const StandardChunkHint& hint, uint32_t extraElements) {
  try {
    std::unique_ptr<GeometryChunk> chunk(
        new GeometryChunk(vertices, faces, faceNormals, kind, hint));
    chunk->AddElement(kPosition);
    chunk->AddElement(kColor);
    chunk->AddElement(kNormal);
    const uint32_t sets = std::min(hint.textureSets, kMaxTextureSets);
    for (uint32_t i = 0; i < sets; ++i) chunk->AddElement(kTexCoord0 + i);
    const bool skinStreams = (hint.flags & StandardChunkHint::kSkinned) != 0 &&
                             (hint.flags & StandardChunkHint::kSoftwareSkinning) == 0;
    if (skinStreams) {
      chunk->AddElement(kBoneIndices);
      if ((hint.flags & StandardChunkHint::kFloatWeights) == 0) chunk->AddElement(kPackedWeights);
      const uint32_t weights =
          (hint.flags & StandardChunkHint::kFloatWeights) != 0 ? hint.paletteGranularity : 0;
      for (uint32_t i = 0; i < std::min(weights, 4u); ++i) chunk->AddElement(kWeights1 + i);
    }
    extraElements |= hint.extraElements;
    for (uint32_t element = 0; element < kElementCount; ++element) {
      if ((extraElements >> element & 1) != 0 && ElementWidth(element) != 0)
        chunk->AddElement(element);
    }
    chunk->indices_.resize(indices);
    chunk->faceNormalArray_.resize(uint64_t(faceNormals) * 3);
    return chunk.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void GeometryChunk::AddElement(uint32_t element) {
  present_ |= 1u << element;
  const uint64_t size = uint64_t(vertices_) * ElementWidth(element);
  if (IsWordElement(element)) {
    wordStreams_[element].assign(size, 0);
    return;
  }
  floatStreams_[element].assign(size, 0.0f);
}

uint32_t GeometryChunk::GetVertexSize() const {
  uint32_t size = 0;
  for (uint32_t element = 0; element < kElementCount; ++element) {
    if (HasElement(element)) size += 4 * ElementWidth(element);
  }
  return size;
}

bool GeometryChunk::AddChunkProperty(const PString& name) {
  for (const auto& [held, value] : properties_) {
    if (held == name) return false;
  }
  properties_.emplace_back(name, 0.0f);
  return true;
}

void GeometryChunk::SetChunkProperty(const PString& name, float value) {
  for (auto& [held, stored] : properties_) {
    if (held != name) continue;
    stored = value;
    return;
  }
}

float GeometryChunk::GetChunkProperty(const PString& name, float fallback) const {
  for (const auto& [held, value] : properties_) {
    if (held == name) return value;
  }
  return fallback;
}

void GeometryChunk::RenderGeometry(Display* display, ViewPort* /*viewport*/,
                                   const VertexProgram* program, bool /*lit*/, int /*pass*/) {
  if (display == nullptr) return;
  display->RecordDraw(this, program, 0, GetNumIndices());
}

void GeometryChunk::RenderPrimitives(Display* display, ViewPort* /*viewport*/,
                                     const VertexProgram* program, uint32_t first,
                                     const uint16_t* /*indices*/, uint32_t count,
                                     uint32_t /*primitive*/, bool /*lit*/, int /*pass*/) {
  if (display == nullptr) return;
  display->RecordDraw(this, program, first, count);
}

uint32_t GeometryChunk::AddInfluenceMatrix(const void* bone) {
  for (size_t i = 0; i < influenceMatrices_.size(); ++i) {
    if (influenceMatrices_[i] == bone) return static_cast<uint32_t>(i);
  }
  influenceMatrices_.push_back(bone);
  return static_cast<uint32_t>(influenceMatrices_.size() - 1);
}

float* GeometryChunk::GetFloats(uint32_t element) {
  if (!HasElement(element) || IsWordElement(element) || floatStreams_[element].empty())
    return nullptr;
  return floatStreams_[element].data();
}

uint32_t* GeometryChunk::GetWords(uint32_t element) {
  if (!HasElement(element) || !IsWordElement(element) || wordStreams_[element].empty())
    return nullptr;
  return wordStreams_[element].data();
}

}  // namespace Kiv
