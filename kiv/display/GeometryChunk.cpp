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
    chunk->AddElement(kPosition, hint.filledElements);
    chunk->AddElement(kColor, hint.filledElements);
    chunk->AddElement(kNormal, hint.filledElements);
    const uint32_t sets = std::min(hint.textureSets, kMaxTextureSets);
    for (uint32_t i = 0; i < sets; ++i) chunk->AddElement(kTexCoord0 + i, hint.filledElements);
    chunk->AddStreams(extraElements, hint);
    chunk->SizeIndices(indices, hint.filledIndices);
    return chunk.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

GeometryChunk* GeometryChunk::CreateSingleStream(const PackedVertexLayout& layout,
                                                 bool separateNormals, uint32_t vertices,
                                                 uint32_t faces, uint32_t indices,
                                                 uint32_t faceNormals, uint32_t kind,
                                                 const StandardChunkHint& hint) {
  try {
    std::unique_ptr<GeometryChunk> chunk(
        new GeometryChunk(vertices, faces, faceNormals, kind, hint));
    chunk->layout_ = &layout;
    chunk->separateNormals_ = separateNormals;
    chunk->vertexBlock_ = CountedBlock<uint32_t>::Make(uint64_t(vertices) * layout.size / 4);
    for (uint32_t element = 0; element < kElementCount; ++element) {
      if (layout.GetItemOffset(element) >= 0) chunk->AddElement(element, hint.filledElements);
    }
    if (separateNormals) chunk->AddElement(kNormal, hint.filledElements);
    chunk->AddStreams(0, hint);
    chunk->SizeIndices(indices, hint.filledIndices);
    return chunk.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// The skin streams and further elements of the hint, and the face normals.
// `made` is the hint the chunk was made with (its own keeps no fill marks).
void GeometryChunk::AddStreams(uint32_t extraElements, const StandardChunkHint& made) {
  const bool skinStreams = (hint_.flags & StandardChunkHint::kSkinned) != 0 &&
                           (hint_.flags & StandardChunkHint::kSoftwareSkinning) == 0;
  if (skinStreams) {
    AddElement(kBoneIndices);
    if ((hint_.flags & StandardChunkHint::kFloatWeights) == 0) AddElement(kPackedWeights);
    const uint32_t weights =
        (hint_.flags & StandardChunkHint::kFloatWeights) != 0 ? hint_.paletteGranularity : 0;
    for (uint32_t i = 0; i < std::min(weights, 4u); ++i) AddElement(kWeights1 + i);
  }
  extraElements |= hint_.extraElements;
  for (uint32_t element = 0; element < kElementCount; ++element) {
    if ((extraElements >> element & 1) != 0 && ElementWidth(element) != 0)
      AddElement(element, made.filledElements);
  }
  const uint64_t faceNormalFloats = uint64_t(faceNormals_) * 3;
  if (made.filledFaceNormals) {
    faceNormalArray_.resize(faceNormalFloats);
  } else {
    faceNormalArray_.assign(faceNormalFloats, 0.0f);
  }
}

void GeometryChunk::SizeIndices(uint32_t indices, bool filled) {
  if (filled) {
    indices_.resize(indices);
  } else {
    indices_.assign(indices, 0);
  }
}

GeometryChunk* GeometryChunk::CreateInstance(uint32_t vertices, uint32_t faces, uint32_t indices,
                                             uint32_t faceNormals) const {
  GeometryChunk* made =
      layout_ != nullptr
          ? CreateSingleStream(*layout_, separateNormals_, vertices, faces, indices, faceNormals,
                               kind_, hint_)
          : Create(vertices, faces, indices, faceNormals, kind_, hint_);
  if (made != nullptr) made->flags_ = flags_;
  return made;
}

GeometryChunk* GeometryChunk::CreateInstance() const {
  try {
    return new GeometryChunk(*this);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void GeometryChunk::AddElement(uint32_t element, uint32_t filled) {
  present_ |= 1u << element;
  if (InLayout(element)) return;
  const uint64_t size = uint64_t(vertices_) * ElementWidth(element);
  const bool unset = (filled >> element & 1) != 0;
  if (IsWordElement(element)) {
    if (unset) {
      wordStreams_[element].resize(size);
    } else {
      wordStreams_[element].assign(size, 0);
    }
    return;
  }
  if (unset) {
    floatStreams_[element].resize(size);
  } else {
    floatStreams_[element].assign(size, 0.0f);
  }
}

uint32_t GeometryChunk::GetVertexSize() const {
  if (layout_ != nullptr) return layout_->size;
  uint32_t size = 0;
  for (uint32_t element = 0; element < kElementCount; ++element) {
    if (HasElement(element)) size += 4 * ElementWidth(element);
  }
  return size;
}

StridedArray<uint8_t> GeometryChunk::GetItemArray(uint32_t element) {
  if (!HasElement(element) || vertices_ == 0) return {};
  if (InLayout(element)) {
    auto* block = reinterpret_cast<uint8_t*>(vertexBlock_.Items().data());
    return {block + layout_->GetItemOffset(element), layout_->size};
  }
  const uint32_t stride = 4 * ElementWidth(element);
  if (IsWordElement(element))
    return {reinterpret_cast<uint8_t*>(wordStreams_[element].data()), stride};
  return {reinterpret_cast<uint8_t*>(floatStreams_[element].data()), stride};
}

StridedArray<float> GeometryChunk::FloatArray(uint32_t element, uint32_t width) {
  if (IsWordElement(element) || ElementWidth(element) != width) return {};
  const StridedArray<uint8_t> items = GetItemArray(element);
  return {items.data, items.stride};
}

StridedArray<uint32_t> GeometryChunk::GetColorArray(uint32_t element) {
  if (!IsWordElement(element)) return {};
  const StridedArray<uint8_t> items = GetItemArray(element);
  return {items.data, items.stride};
}

uint8_t* GeometryChunk::GetVertexArray(uint32_t /*stream*/, uint32_t /*pass*/) {
  if (layout_ == nullptr || vertexBlock_.Count() == 0) return nullptr;
  return reinterpret_cast<uint8_t*>(vertexBlock_.Items().data());
}

uint32_t GeometryChunk::AssignVertexType(const Display* /*display*/) {
  if (vertexTypeId_ == 0 && layout_ != nullptr) vertexTypeId_ = layout_->vertexTypeId;
  return vertexTypeId_;
}

void GeometryChunk::SetVertexType(VertexType* type, uint32_t /*stream*/) {
  vertexType_.reset(type);
  vertexTypeId_ = type != nullptr ? type->GetId() : 0;
}

void GeometryChunk::SetVertexDataDynamic(uint32_t /*stream*/, int32_t /*part*/, bool dynamic) {
  vertexDynamic_ = dynamic;
}

void GeometryChunk::SetVertexDataShared(uint32_t /*stream*/, int32_t /*part*/, bool shared) {
  vertexShared_ = shared;
}

bool GeometryChunk::DuplicateVertexArray() {
  if (layout_ == nullptr) return true;
  try {
    CountedBlock<uint32_t> copy = CountedBlock<uint32_t>::Make(vertexBlock_.Count());
    std::copy(vertexBlock_.Items().begin(), vertexBlock_.Items().end(), copy.Items().begin());
    vertexBlock_ = copy;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool GeometryChunk::ResizeVertexArray(uint32_t vertices) {
  try {
    auto streams = floatStreams_;
    auto words = wordStreams_;
    for (uint32_t element = 0; element < kElementCount; ++element) {
      if (!HasElement(element) || InLayout(element)) continue;
      const uint64_t size = uint64_t(vertices) * ElementWidth(element);
      if (IsWordElement(element)) {
        words[element].resize(size, 0);
      } else {
        streams[element].resize(size, 0.0f);
      }
    }
    if (layout_ != nullptr) {
      CountedBlock<uint32_t> block = CountedBlock<uint32_t>::Make(uint64_t(vertices) *
                                                                  layout_->size / 4);
      const size_t kept = std::min(block.Count(), vertexBlock_.Count());
      std::copy_n(vertexBlock_.Items().begin(), kept, block.Items().begin());
      vertexBlock_ = block;
    }
    floatStreams_ = std::move(streams);
    wordStreams_ = std::move(words);
  } catch (const std::bad_alloc&) {
    return false;
  }
  vertices_ = vertices;
  return true;
}

bool GeometryChunk::AppendChunk(const Display* /*display*/, const GeometryChunk& other) {
  if (other.layout_ != layout_ || other.separateNormals_ != separateNormals_ ||
      other.present_ != present_ || other.kind_ != kind_)
    return false;
  const uint64_t vertices = uint64_t(vertices_) + other.vertices_;
  if (vertices > 0x10000) return false;
  try {
    auto streams = floatStreams_;
    auto words = wordStreams_;
    for (uint32_t element = 0; element < kElementCount; ++element) {
      streams[element].insert(streams[element].end(), other.floatStreams_[element].begin(),
                              other.floatStreams_[element].end());
      words[element].insert(words[element].end(), other.wordStreams_[element].begin(),
                            other.wordStreams_[element].end());
    }
    FilledVector<uint16_t> indices = indices_;
    for (uint16_t index : other.indices_) indices.push_back(uint16_t(index + vertices_));
    FilledVector<float> faceNormals = faceNormalArray_;
    faceNormals.insert(faceNormals.end(), other.faceNormalArray_.begin(),
                       other.faceNormalArray_.end());
    if (layout_ != nullptr) {
      CountedBlock<uint32_t> block = CountedBlock<uint32_t>::Make(vertices * layout_->size / 4);
      std::copy(vertexBlock_.Items().begin(), vertexBlock_.Items().end(), block.Items().begin());
      std::copy(other.vertexBlock_.Items().begin(), other.vertexBlock_.Items().end(),
                block.Items().begin() + static_cast<ptrdiff_t>(vertexBlock_.Count()));
      vertexBlock_ = block;
    }
    floatStreams_ = std::move(streams);
    wordStreams_ = std::move(words);
    indices_ = std::move(indices);
    faceNormalArray_ = std::move(faceNormals);
  } catch (const std::bad_alloc&) {
    return false;
  }
  vertices_ = static_cast<uint32_t>(vertices);
  faces_ += other.faces_;
  faceNormals_ += other.faceNormals_;
  return true;
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
  if (!HasElement(element) || InLayout(element) || IsWordElement(element) ||
      floatStreams_[element].empty())
    return nullptr;
  return floatStreams_[element].data();
}

uint32_t* GeometryChunk::GetWords(uint32_t element) {
  if (!HasElement(element) || InLayout(element) || !IsWordElement(element) ||
      wordStreams_[element].empty())
    return nullptr;
  return wordStreams_[element].data();
}

}  // namespace Kiv
