// The GEOM and NINF chunks of indexed mesh files.
#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <xmmintrin.h>
#include <emmintrin.h>
#endif

#include "kiv/display/Display.h"
#include "kiv/basics/ProcessorFeatures.h"
#include "kiv/model/MeshFileSupport.h"
#include "kiv/scene/PointSums.h"
#include "kiv/store/Resource.h"
#include "render/meshes/HighestIndex.h"
#include "render/meshes/MeshChunkReader.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace {

constexpr uint64_t kNeighbourBytes = sizeof(Kiv::GeometryChunk::FaceNeighbors);

// The engine's geometry kind for the low 5 bits of a GEOM primitive word.
}  // namespace

bool GeometryKindOfPrimitive(uint32_t primitive, uint32_t* kind) {
  switch (primitive & 0x1F) {
    case 0:
      *kind = 5;
      return true;
    case 1:
      *kind = 3;
      return true;
    case 2:
      *kind = 4;
      return true;
    case 4:
      *kind = 0;
      return true;
    case 8:
      *kind = 1;
      return true;
    case 16:
      *kind = 2;
      return true;
    default:
      return false;
  }
}

uint32_t PrimitiveOfGeometryKind(uint32_t kind) {
  static const uint32_t kPrimitives[6] = {4, 8, 16, 1, 2, 0};
  return kind < 6 ? kPrimitives[kind] : 4;
}

namespace {

bool HasColours(uint32_t version) {
  return version >= 104 && version <= 199;
}
bool HasSetCount(uint32_t version) {
  return version >= 103 && version <= 199;
}

// Vertices read from the interleaved records at a time: a piece stays in
// the cache (and in a streamed file's window) while it is scattered.
constexpr uint32_t kVerticesPerPiece = 4096;

// The per-vertex array `to` from vertex `first` on.
Kiv::StridedArray<uint8_t> From(Kiv::StridedArray<uint8_t> to, uint64_t first) {
  return to ? Kiv::StridedArray<uint8_t>{to[first], to.stride} : to;
}

// Copies `count` records of `Width` bytes, `stride` apart from `from`, into
// the chunk's per-vertex array `to`, when the chunk has one.
template <size_t Width>
void Scatter(Kiv::StridedArray<uint8_t> to, const uint8_t* from, uint64_t count,
             uint64_t stride) {
  if (!to) return;
  if (to.stride == Width && stride == Width) {
    std::memcpy(to.data, from, Width * count);
    return;
  }
  for (uint64_t i = 0; i < count; ++i, from += stride) std::memcpy(to[i], from, Width);
}

#if defined(__SSE2__)
// Four records of two texture sets are seven vectors, shuffled into three
// vectors of positions at `p` and two of each set at `t0` and `t1` (the
// bits move unchanged). Answers the seven vectors read.
struct FourRecords {
  __m128 l0, l1, l2, l3, l4, l5, l6;
};

__attribute__((always_inline)) inline FourRecords ScatterFourRecords(const float* f, float* p,
                                                                     float* t0, float* t1) {
  const FourRecords r{_mm_loadu_ps(f),      _mm_loadu_ps(f + 4),  _mm_loadu_ps(f + 8),
                      _mm_loadu_ps(f + 12), _mm_loadu_ps(f + 16), _mm_loadu_ps(f + 20),
                      _mm_loadu_ps(f + 24)};
  // x0 y0 z0 a0 | b0 c0 d0 x1 | y1 z1 a1 b1 | c1 d1 x2 y2 | z2 a2 b2 c2 |
  // d2 x3 y3 z3 | a3 b3 c3 d3, with (a, b) set 0 and (c, d) set 1.
  const __m128 z0x1 = _mm_shuffle_ps(r.l0, r.l1, _MM_SHUFFLE(3, 3, 2, 2));
  _mm_storeu_ps(p, _mm_shuffle_ps(r.l0, z0x1, _MM_SHUFFLE(2, 1, 1, 0)));
  _mm_storeu_ps(p + 4, _mm_shuffle_ps(r.l2, r.l3, _MM_SHUFFLE(3, 2, 1, 0)));
  _mm_storeu_ps(p + 8, _mm_move_ss(r.l5, r.l4));
  const __m128 a0b0 = _mm_shuffle_ps(r.l0, r.l1, _MM_SHUFFLE(0, 0, 3, 3));
  _mm_storeu_ps(t0, _mm_shuffle_ps(a0b0, r.l2, _MM_SHUFFLE(3, 2, 2, 0)));
  _mm_storeu_ps(t0 + 4, _mm_shuffle_ps(r.l4, r.l6, _MM_SHUFFLE(1, 0, 2, 1)));
  _mm_storeu_ps(t1, _mm_shuffle_ps(r.l1, r.l3, _MM_SHUFFLE(1, 0, 2, 1)));
  const __m128 c2d2 = _mm_shuffle_ps(r.l4, r.l5, _MM_SHUFFLE(0, 0, 3, 3));
  _mm_storeu_ps(t1 + 4, _mm_shuffle_ps(c2d2, r.l6, _MM_SHUFFLE(3, 2, 2, 0)));
  return r;
}
#endif

// Copies `count` interleaved vertex records (a position, then `Sets`
// texture coordinate pairs) into tight position and texture arrays, one
// record after another.
template <uint32_t Sets>
void ScatterTight(uint8_t* positions, uint8_t* const* texCoords, const uint8_t* from,
                  uint64_t count) {
  constexpr uint64_t kStride = 12 + 8 * Sets;
  uint64_t v = 0;
#if defined(__SSE2__)
  if constexpr (Sets == 2) {
    float* p = reinterpret_cast<float*>(positions);
    float* t0 = reinterpret_cast<float*>(texCoords[0]);
    float* t1 = reinterpret_cast<float*>(texCoords[1]);
    for (; v + 4 <= count; v += 4, from += 4 * kStride)
      ScatterFourRecords(reinterpret_cast<const float*>(from), p + 3 * v, t0 + 2 * v, t1 + 2 * v);
  }
#endif
  for (; v < count; ++v, from += kStride) {
    std::memcpy(positions + 12 * v, from, 12);
    for (uint32_t set = 0; set < Sets; ++set)
      std::memcpy(texCoords[set] + 8 * v, from + 12 + 8 * set, 8);
  }
}

#if defined(KIV_POINT_SUMS_AVX2) && defined(__SSE2__)
// ScatterTight<2> that also adds each position to `sums` as it goes: the
// additions of the box's sums, one after another, run while the copy waits
// on memory. Processors with AVX2 only.
__attribute__((target("avx2"))) void ScatterTwoSetsSummed(uint8_t* positions,
                                                          uint8_t* const* texCoords,
                                                          const uint8_t* from, uint64_t count,
                                                          Kiv::PointSums* sums) {
  constexpr uint64_t kStride = 28;
  float* p = reinterpret_cast<float*>(positions);
  float* t0 = reinterpret_cast<float*>(texCoords[0]);
  float* t1 = reinterpret_cast<float*>(texCoords[1]);
  Kiv::PointSumsLanes lanes = Kiv::LoadPointSums(*sums);
  uint64_t v = 0;
  for (; v + 4 <= count; v += 4, from += 4 * kStride) {
    const FourRecords r =
        ScatterFourRecords(reinterpret_cast<const float*>(from), p + 3 * v, t0 + 2 * v, t1 + 2 * v);
    // The points start at float 0 of l0, 3 of l1, 2 of l3 and 1 of l5.
    const __m128i l1 = _mm_castps_si128(r.l1), l2 = _mm_castps_si128(r.l2);
    const __m128i l3 = _mm_castps_si128(r.l3), l4 = _mm_castps_si128(r.l4);
    const __m128i l5 = _mm_castps_si128(r.l5), l6 = _mm_castps_si128(r.l6);
    Kiv::AddPoint(lanes, r.l0);
    Kiv::AddPoint(lanes, _mm_castsi128_ps(_mm_alignr_epi8(l2, l1, 12)));
    Kiv::AddPoint(lanes, _mm_castsi128_ps(_mm_alignr_epi8(l4, l3, 8)));
    Kiv::AddPoint(lanes, _mm_castsi128_ps(_mm_alignr_epi8(l6, l5, 4)));
  }
  for (; v < count; ++v, from += kStride) {
    std::memcpy(positions + 12 * v, from, 12);
    std::memcpy(texCoords[0] + 8 * v, from + 12, 8);
    std::memcpy(texCoords[1] + 8 * v, from + 20, 8);
    Kiv::AddPoint(lanes, p + 3 * v);
  }
  Kiv::StorePointSums(lanes, count, sums);
}
#endif

// Whether ScatterRecords takes the points' sums for these arrays.
bool SummedScatter(Kiv::StridedArray<uint8_t> positions,
                   const Kiv::StridedArray<uint8_t>* texCoords, uint32_t sets, uint64_t stride) {
#if defined(KIV_POINT_SUMS_AVX2) && defined(__SSE2__)
  return sets == 2 && stride == 28 && positions.stride == 12 && texCoords[0] &&
         texCoords[0].stride == 8 && texCoords[1] && texCoords[1].stride == 8 &&
         Kiv::ProcessorHasAvx2();
#else
  (void)positions, (void)texCoords, (void)sets, (void)stride;
  return false;
#endif
}

// Copies `count` interleaved vertex records, `stride` bytes each (a
// position, then texture coordinate pairs), into the position array and
// the arrays of the first `sets` texture sets (absent ones skipped). With
// `sums`, the positions are also added to them where SummedScatter says
// they can be.
void ScatterRecords(Kiv::StridedArray<uint8_t> positions,
                    const Kiv::StridedArray<uint8_t>* texCoords, uint32_t sets,
                    const uint8_t* from, uint64_t count, uint64_t stride,
                    Kiv::PointSums* sums) {
  bool tight = positions.stride == 12 && stride == 12 + 8 * uint64_t(sets) && sets <= 2;
  uint8_t* tex[2] = {nullptr, nullptr};
  for (uint32_t set = 0; tight && set < sets; ++set) {
    tight = texCoords[set] && texCoords[set].stride == 8;
    tex[set] = texCoords[set].data;
  }
#if defined(KIV_POINT_SUMS_AVX2) && defined(__SSE2__)
  if (sums != nullptr && tight && sets == 2)
    return ScatterTwoSetsSummed(positions.data, tex, from, count, sums);
#endif
  if (tight && sets == 2) return ScatterTight<2>(positions.data, tex, from, count);
  if (tight && sets == 1) return ScatterTight<1>(positions.data, tex, from, count);
  Scatter<12>(positions, from, count, stride);
  for (uint32_t set = 0; set < sets; ++set)
    Scatter<8>(texCoords[set], from + 12 + 8 * set, count, stride);
}

// Reads `count` tight records of `Width` bytes into the per-vertex array
// `to`: straight into it when it is tight too, else a piece at a time.
// With no array the records are passed over. False when the file does not
// give the bytes.
template <size_t Width>
bool ReadItems(Kiv::MemoryFile& file, Kiv::StridedArray<uint8_t> to, uint64_t count) {
  if (!to) return file.Skip(Width * count);
  if (to.stride == Width) return file.ReadRaw(to.data, Width * count);
  for (uint64_t first = 0; first < count; first += kVerticesPerPiece) {
    const uint64_t piece = std::min<uint64_t>(count - first, kVerticesPerPiece);
    const uint8_t* block = file.ReadBlock(Width * piece);
    if (block == nullptr) return false;
    Scatter<Width>(From(to, first), block, piece, Width);
  }
  return true;
}

}  // namespace

Kiv::StandardChunkHint VandruIndexedMeshDefinition::MakeHint(Kiv::Resource* resource,
                                                             uint32_t version, uint32_t skinWeights,
                                                             float value, uint32_t textureSets) {
  Kiv::StandardChunkHint hint(2, 0);
  hint.vertexBufferKind = settings.dynamicVertex.set ? settings.dynamicVertex.value : 2;
  hint.indexBufferKind = settings.dynamicIndex.set ? settings.dynamicIndex.value : 2;
  if (settings.softwareLighting.IsTrue()) hint.flags |= Kiv::StandardChunkHint::kSoftwareLighting;
  hint.hintValue = value;
  hint.textureSets = textureSets;
  hint.store = resource != nullptr ? resource->GetDatabase() : nullptr;
  if (version < 102) return hint;
  if (maxWeightsPerVertex_ >= 1 && maxWeightsPerVertex_ <= maxWeightsLimit_ &&
      fileMaxBonesPerChunk_ <= maxBonesPerChunk_ && hardwareCapability_ &&
      !settings.softwareAnimation.IsTrue())
    hardwareSkinning_ = true;
  ApplySkinning(&hint, skinWeights, hardwareSkinning_);
  return hint;
}

void VandruIndexedMeshDefinition::ApplySkinning(Kiv::StandardChunkHint* hint, uint32_t skinWeights,
                                                bool hardware) const {
  if (skinWeights == 0) return;
  hint->flags |= Kiv::StandardChunkHint::kSkinned;
  if (!hardware) {
    hint->flags |= Kiv::StandardChunkHint::kSoftwareSkinning;
    return;
  }
  hint->paletteGranularity = 4;
  hint->maxBones = maxBonesPerChunk_;
  if (settings.hardwareAnimationFloatPrecision.IsTrue())
    hint->flags |= Kiv::StandardChunkHint::kFloatWeights;
}

uint32_t VandruIndexedMeshDefinition::FillSkinDefaults(Kiv::GeometryChunk& chunk,
                                                       uint32_t skinWeights, bool hardware) {
  if (!hardware || skinWeights < 1 || skinWeights > 4) return kMeshOk;
  const uint32_t vertices = chunk.GetNumVertices();
  if ((chunk.GetHint().flags & Kiv::StandardChunkHint::kFloatWeights) != 0) {
    float* weights = chunk.GetFloats(Kiv::GeometryChunk::kWeights1 + skinWeights - 1);
    if (weights == nullptr) return kMeshFailChunkCreate;
    for (uint32_t v = 0; v < vertices; ++v) weights[uint64_t(v) * skinWeights] = 1.0f;
  } else {
    uint32_t* packed = chunk.GetWords(Kiv::GeometryChunk::kPackedWeights);
    if (packed == nullptr) return kMeshFailChunkCreate;
    std::fill(packed, packed + vertices, 0xFF000000u);
  }
  uint32_t* bones = chunk.GetWords(Kiv::GeometryChunk::kBoneIndices);
  if (bones == nullptr) return kMeshFailChunkCreate;
  std::fill(bones, bones + vertices, 0u);
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadGeometryChunk(Kiv::Resource* resource,
                                                        Kiv::MemoryFile& file, uint32_t index,
                                                        uint32_t defaultColour) {
  if (!ReadTag(file, "GEOM")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  const uint32_t version = header.version;
  if (version < 101 || version > 201) return kMeshFileVersionError;
  GeometryCounts counts;
  if (!ReadGeometryCounts(file, version, &counts)) return kMeshFileFormatError;
  const auto [kind, extraFlags, hintValue, vertices, faces, indices, faceNormals] = counts;
  uint32_t sets = 1, skinWeights = 0;
  if (HasSetCount(version)) file.Read(&sets);
  if (version >= 102) file.Read(&skinWeights);
  Kiv::PString name;
  if (version >= 200) Kiv::MeshFileSupport::ReadPaddedString(file, &name);
  Reach(chunkNames_, index);
  chunkNames_[index] = name;

  // Everything that follows must fit the bytes that are left.
  const bool extra = version >= 201 && (extraFlags & 1) != 0;
  const uint64_t stride = 12 + 8 * uint64_t(sets);
  const uint64_t perVertex = stride + 12 + (HasColours(version) ? 4 : 0) + (extra ? 12 : 0);
  if (!Fits(file, vertices, perVertex)) return kMeshFileFormatError;
  const uint64_t fixedBytes = uint64_t(vertices) * perVertex;
  if (!Fits(file, indices, 2) || !Fits(file, faceNormals, 12) ||
      fixedBytes + 2 * uint64_t(indices) + 12 * uint64_t(faceNormals) > file.Remaining())
    return kMeshFileFormatError;

  Kiv::StandardChunkHint hint = MakeHint(resource, version, skinWeights, hintValue, sets);
  if (extra) hint.extraElements |= 1u << Kiv::GeometryChunk::kExtraVector;
  // The arrays written whole below start unset; the skin streams keep
  // their zeros (the defaults fill only some of their entries).
  hint.filledElements = 1u << Kiv::GeometryChunk::kPosition | 1u << Kiv::GeometryChunk::kColor |
                        1u << Kiv::GeometryChunk::kNormal |
                        (extra ? 1u << Kiv::GeometryChunk::kExtraVector : 0u);
  for (uint32_t set = 0; set < sets && set < Kiv::GeometryChunk::kMaxTextureSets; ++set)
    hint.filledElements |= 1u << (Kiv::GeometryChunk::kTexCoord0 + set);
  hint.filledIndices = true;
  hint.filledFaceNormals = true;
  Kiv::Material* material = GetMaterial(index);
  Kiv::GeometryChunk* created =
      material != nullptr
          ? material->CreateGeometryChunk(vertices, faces, indices, faceNormals, kind, hint)
          : nullptr;
  if (created == nullptr) return kMeshFileFormatError;
  chunks_[index].reset(created);
  Kiv::GeometryChunk& chunk = *created;
  // A chunk that could not be filled whole is dropped: its arrays were
  // not zeroed.
  const uint32_t result =
      ReadGeometryArrays(file, chunk, version, counts, sets, skinWeights, extra, defaultColour);
  if (result != kMeshOk) {
    chunks_[index].reset();
    return result;
  }
  file.Seek(header.end);
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadGeometryArrays(Kiv::MemoryFile& file,
                                                         Kiv::GeometryChunk& chunk,
                                                         uint32_t version,
                                                         const GeometryCounts& counts,
                                                         uint32_t sets, uint32_t skinWeights,
                                                         bool extra, uint32_t defaultColour) {
  const uint32_t vertices = counts.vertices, indices = counts.indices;
  const uint32_t faceNormals = counts.faceNormals;
  const uint64_t stride = 12 + 8 * uint64_t(sets);
  summedChunk_ = nullptr;
  pendingSums_ = Kiv::PointSums{};
  // Every array is read straight into the chunk, so that a streamed file
  // moves each byte once; a read the file cannot serve fails the load.
  if (vertices != 0) {
    const auto positions = chunk.GetItemArray(Kiv::GeometryChunk::kPosition);
    const auto colours = chunk.GetColorArray(Kiv::GeometryChunk::kColor);
    if (uint32_t result = FillSkinDefaults(chunk, skinWeights, hardwareSkinning_)) return result;
    if (!positions) return kMeshFailChunkCreate;
    const uint32_t usedSets = std::min(sets, Kiv::GeometryChunk::kMaxTextureSets);
    Kiv::StridedArray<uint8_t> texCoords[Kiv::GeometryChunk::kMaxTextureSets];
    for (uint32_t set = 0; set < usedSets; ++set)
      texCoords[set] = chunk.GetItemArray(Kiv::GeometryChunk::kTexCoord0 + set);
    // The box's sums are taken while the positions are copied, for the
    // measures of the chunk once it is accepted.
    const bool summed = usedSets == sets && SummedScatter(positions, texCoords, sets, stride);
    if (summed) measures_.StartSums(&pendingSums_);
    for (uint32_t first = 0; first < vertices; first += kVerticesPerPiece) {
      const uint32_t piece = std::min(vertices - first, kVerticesPerPiece);
      const uint8_t* block = file.ReadBlock(piece * stride);
      if (block == nullptr) return kMeshFileFormatError;
      Kiv::StridedArray<uint8_t> pieceTexCoords[Kiv::GeometryChunk::kMaxTextureSets];
      for (uint32_t set = 0; set < usedSets; ++set)
        pieceTexCoords[set] = From(texCoords[set], first);
      ScatterRecords(From(positions, first), pieceTexCoords, usedSets, block, piece, stride,
                     summed ? &pendingSums_ : nullptr);
    }
    // Colours that the file gives replace the default below.
    for (uint32_t v = 0; colours && !HasColours(version) && v < vertices; ++v)
      *colours[v] = defaultColour;
  }
  if (indices != 0) {
    uint16_t* array = chunk.GetIndexArray();
    if (array == nullptr) return kMeshFailChunkCreate;
    if (!file.ReadRaw(array, 2 * uint64_t(indices))) return kMeshFileFormatError;
    if (HighestIndex(array, indices) >= vertices) return kMeshFileFormatError;
  }
  if (vertices != 0 &&
      !ReadItems<12>(file, chunk.GetItemArray(Kiv::GeometryChunk::kNormal), vertices))
    return kMeshFileFormatError;
  if (vertices != 0 && HasColours(version)) {
    const auto colours = chunk.GetColorArray(Kiv::GeometryChunk::kColor);
    if (colours && colours.stride == sizeof(uint32_t)) {
      // A tight colour array takes the words and is converted in place.
      if (!file.ReadRaw(colours[0], 4 * uint64_t(vertices))) return kMeshFileFormatError;
      if (display_ != nullptr) display_->ConvertColorArray(colours[0], vertices);
    } else if (colours) {
      std::vector<uint32_t> words(vertices);
      if (!file.ReadRaw(words.data(), 4 * uint64_t(vertices))) return kMeshFileFormatError;
      if (display_ != nullptr) display_->ConvertColorArray(words.data(), vertices);
      for (uint32_t v = 0; v < vertices; ++v) *colours[v] = words[v];
    } else if (!file.Skip(4 * uint64_t(vertices))) {
      return kMeshFileFormatError;
    }
  }
  if (faceNormals != 0) {
    float* array = chunk.GetFaceNormalArray();
    if (array == nullptr) return kMeshFailChunkCreate;
    if (!file.ReadRaw(array, 12 * uint64_t(faceNormals))) return kMeshFileFormatError;
  }
  if (extra && vertices != 0 &&
      !ReadItems<12>(file, chunk.GetItemArray(Kiv::GeometryChunk::kExtraVector), vertices))
    return kMeshFileFormatError;
  if (pendingSums_.count == vertices && vertices != 0) summedChunk_ = &chunk;
  return kMeshOk;
}

uint32_t VandruIndexedMeshDefinition::ReadNeighbourChunk(Kiv::MemoryFile& file, uint32_t index) {
  if (!ReadTag(file, "NINF")) return kMeshFileFormatError;
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.version != 100) return kMeshFileVersionError;
  Kiv::GeometryChunk* chunk = GetChunk(index);
  const uint32_t faces = chunk != nullptr ? chunk->GetNumFaces() : 0;
  if (faces == 0) return kMeshOk;
  if (!Fits(file, faces, kNeighbourBytes)) return kMeshFileFormatError;
  Kiv::FilledVector<Kiv::GeometryChunk::FaceNeighbors> neighbours(faces);
  if (!file.ReadRaw(neighbours.data(), faces * kNeighbourBytes)) return kMeshFileFormatError;
  chunk->SetFaceNeighborArray(std::move(neighbours));
  return kMeshOk;
}
