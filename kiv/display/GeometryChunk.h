// Kiv::GeometryChunk: the vertices, indices and per-face data of one part
// of a mesh, held in CPU arrays (the null display has no buffers).
//
// Per-vertex data lives in streams named by element code; each element is
// a number of 4-byte components (floats, or u32 words for colours, packed
// weights and bone indices):
//   1 position (3 floats)       2 colour (u32)        3 second colour (u32)
//   4 normal (3 floats)         5..8 skin weights as 1..4 floats
//   9 packed skin weights (u32) 10 bone indices (u32)
//   15 + i texture set i (2 floats, i < kMaxTextureSets)
//   27 extra vector (3 floats)
// Create gives a chunk the streams 1, 2 and 4, one texture stream per set
// of the hint (at most kMaxTextureSets), the skin streams of the hint and
// the elements of `extraElements` (a bit mask, bit n for code n). Skin
// streams: a skinned hint without software skinning gets stream 10 and,
// with float weights, streams 5 to 4 + its palette granularity (at most 8),
// else stream 9. All arrays start zeroed, except the separate streams of
// the hint's filledElements and, when the hint says so, the indices and
// face normals, which the creator writes whole. Chunks are counted
// (Kiv::ReferenceCount; Create hands out none).
//
// The hint's extraElements add their elements too. GetVertexSize is the
// bytes of one vertex over the streams the chunk has. Flags are the
// engine's chunk flags (kSharedOnly: the chunk's vertices are shared and
// must not be written per mesh). AddInfluenceMatrix registers a bone (by
// identity) in the chunk's matrix palette and answers its slot; a bone
// already there keeps its slot. InitializeBuffers prepares the chunk for a
// display; the null display keeps the CPU arrays and accepts every chunk.
//
// RenderGeometry records a draw of all the chunk's indices on the display
// with the given vertex program, RenderPrimitives one of `count` indices
// from `first`; neither draws without a display.
//
// Chunk properties are named floats: AddChunkProperty answers true when it
// added the name (at 0.0), false when the chunk had it; GetChunkProperty
// answers `fallback` for a name the chunk does not have.
//
// Accessors answer null for an element the chunk does not have, or one of
// the other component kind (GetFloats of a u32 element and so on), and for
// arrays of no entries.
//
// Single-stream chunks (CreateSingleStream) hold the items of a packed
// layout (kiv/display/PackedVertex.h) interleaved in one vertex block, a
// counted block that chunks made from one another share (CreateInstance());
// elements outside the layout (skin streams, extra elements of the hint)
// stay separate streams. With `separateNormals` the normal (4) is a
// separate array of three floats per vertex even when the layout has none.
// GetFloats and GetWords answer only tight arrays, so null for an
// interleaved item; the strided accessors (GetVector3Array,
// GetVector2Array, GetColorArray, GetItemArray) serve every element, tight
// or interleaved, as (stride, pointer), and (0, null) for an absent one or
// one of another width or kind. GetVertexSize of a single-stream chunk is
// its layout's size, GetVertexTypeID the layout's id (0 for the standard
// chunk). AssignVertexType gives the chunk the layout's id when it has no
// vertex type yet; SetVertexType sets a display vertex type of a material.
//
// The sharing and dynamic marks (SetVertexDataDynamic, SetVertexDataShared,
// SetIndexDataDynamic) record how a display would keep the buffers; a chunk
// starts with static, shared vertices and static indices.
//
// Opacity (SetOpacity, 1.0 when new) is the chunk's own fade, kept for
// the display (the null display draws nothing with it); copies keep it.
// A chunk flagged kMergeable may take another chunk's geometry
// (AppendChunk) when GetMergeKind answers 1 for both: kinds whose
// primitives stand alone (lists, lines, points) answer 1, strips and fans
// 0. GetInfluenceBone answers the bone registered in palette slot `index`
// (null past the palette); SetInfluenceBone puts another bone in its place
// (ignored past the palette).
//
// AppendChunk adds another chunk's vertices (items, streams and separate
// normals), its indices (moved past this chunk's vertices), faces and face
// normals behind this chunk's own; it refuses (false, nothing changed) a
// chunk of another layout, elements or kind, or one that would take the
// vertex count past what 16-bit indices reach. The appended chunk gets a
// vertex block of its own. Not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/basics/CountedBlock.h"
#include "kiv/basics/DefaultInitAllocator.h"
#include "kiv/display/PackedVertex.h"
#include "kiv/display/StandardChunkHint.h"
#include "kiv/display/VertexType.h"

namespace Kiv {

class Display;
class VertexProgram;
struct Matrix4;
struct ViewPort;

// Per-vertex data `stride` bytes apart; empty (null, 0) for absent data.
template <class T>
struct StridedArray {
  uint8_t* data = nullptr;
  uint32_t stride = 0;

  explicit operator bool() const { return data != nullptr; }
  // The components of vertex `v`.
  T* operator[](uint64_t v) const { return reinterpret_cast<T*>(data + v * stride); }
};

class GeometryChunk : public ReferenceCount {
 public:
  enum Element : uint32_t {
    kPosition = 1,
    kColor = 2,
    kColor2 = 3,
    kNormal = 4,
    kWeights1 = 5,
    kPackedWeights = 9,
    kBoneIndices = 10,
    kTexCoord0 = 15,
    kExtraVector = 27,
    kTangent = 27,  // The extra vector is the tangent of the PNTA layout.
  };
  static constexpr uint32_t kMaxTextureSets = 8;
  static constexpr uint32_t kElementCount = 32;

  // One face's neighbouring faces, copied raw from mesh files.
  struct FaceNeighbors {
    uint32_t faces[3];
  };

  // Null when memory runs out.
  static GeometryChunk* Create(uint32_t vertices, uint32_t faces, uint32_t indices,
                               uint32_t faceNormals, uint32_t kind, const StandardChunkHint& hint,
                               uint32_t extraElements = 0);
  // A chunk whose layout items live interleaved in one vertex block.
  static GeometryChunk* CreateSingleStream(const PackedVertexLayout& layout, bool separateNormals,
                                           uint32_t vertices, uint32_t faces, uint32_t indices,
                                           uint32_t faceNormals, uint32_t kind,
                                           const StandardChunkHint& hint);
  // A new chunk of the same layout, hint, flags and kind, with new counts.
  GeometryChunk* CreateInstance(uint32_t vertices, uint32_t faces, uint32_t indices,
                                uint32_t faceNormals) const;
  // A copy sharing this chunk's vertex block (the other arrays copied).
  GeometryChunk* CreateInstance() const;

  uint32_t GetNumVertices() const { return vertices_; }
  uint32_t GetNumFaces() const { return faces_; }
  uint32_t GetNumIndices() const { return static_cast<uint32_t>(indices_.size()); }
  uint32_t GetNumFaceNormals() const { return faceNormals_; }
  uint32_t GetKind() const { return kind_; }
  const StandardChunkHint& GetHint() const { return hint_; }

  bool HasElement(uint32_t element) const {
    return element < kElementCount && (present_ >> element & 1) != 0;
  }
  float* GetFloats(uint32_t element);
  uint32_t* GetWords(uint32_t element);
  StridedArray<uint8_t> GetItemArray(uint32_t element);
  StridedArray<float> GetVector3Array(uint32_t element) { return FloatArray(element, 3); }
  StridedArray<float> GetVector2Array(uint32_t element) { return FloatArray(element, 2); }
  StridedArray<uint32_t> GetColorArray(uint32_t element);

  // Null for the standard chunk.
  const PackedVertexLayout* GetLayout() const { return layout_; }
  bool HasSeparateNormals() const { return separateNormals_; }
  int32_t GetItemOffset(uint32_t element) const {
    return layout_ != nullptr ? layout_->GetItemOffset(element) : -1;
  }
  // The interleaved vertex block (null for the standard chunk).
  uint8_t* GetVertexArray(uint32_t stream, uint32_t pass);
  uint32_t GetVertexBlockUses() const { return static_cast<uint32_t>(vertexBlock_.Uses()); }
  uint32_t GetVertexTypeID() const { return layout_ != nullptr ? layout_->vertexTypeId : 0; }
  uint32_t AssignVertexType(const Display* display);
  uint32_t GetAssignedVertexType() const { return vertexTypeId_; }
  void SetVertexType(VertexType* type, uint32_t stream);
  VertexType* GetVertexType() const { return vertexType_.get(); }

  void SetVertexDataDynamic(uint32_t stream, int32_t part, bool dynamic);
  void SetVertexDataShared(uint32_t stream, int32_t part, bool shared);
  void SetIndexDataDynamic() { indexDynamic_ = true; }
  bool IsVertexDataDynamic() const { return vertexDynamic_; }
  bool IsVertexDataShared() const { return vertexShared_; }
  bool IsIndexDataDynamic() const { return indexDynamic_; }

  bool AppendChunk(const Display* display, const GeometryChunk& other);
  // Components per vertex of an element code (0 for an unknown code).
  static uint32_t ElementWidth(uint32_t element);
  static bool IsWordElement(uint32_t element);

  static constexpr uint32_t kSharedOnly = 0x40;
  static constexpr uint32_t kMergeable = 4;
  uint32_t GetMergeKind() const { return kind_ == 1 || kind_ == 2 ? 0 : 1; }
  void SetOpacity(const Display* /*display*/, float opacity) { opacity_ = opacity; }
  float GetOpacity() const { return opacity_; }
  const void* GetInfluenceBone(uint32_t index) const {
    return index < influenceMatrices_.size() ? influenceMatrices_[index] : nullptr;
  }
  void SetInfluenceBone(uint32_t index, const void* bone) {
    if (index < influenceMatrices_.size()) influenceMatrices_[index] = bone;
  }
  uint32_t GetFlags() const { return flags_; }
  void SetFlags(uint32_t flags) { flags_ = flags; }
  uint32_t GetVertexSize() const;
  uint32_t AddInfluenceMatrix(const void* bone);
  uint32_t GetNumInfluenceMatrices() const {
    return static_cast<uint32_t>(influenceMatrices_.size());
  }
  // Skinned drawing reads influence matrix `index` in place from `matrix`
  // (not owned: its owner keeps it alive while the chunk may be drawn, or
  // assigns null). False for an index of kMaxInfluenceMatrices or more.
  static constexpr uint32_t kMaxInfluenceMatrices = 256;
  bool AssignInfluenceMatrix(uint32_t index, const Matrix4* matrix);
  // Null for an index never assigned.
  const Matrix4* GetInfluenceMatrix(uint32_t index) const;
  bool AddChunkProperty(const PString& name);
  void SetChunkProperty(const PString& name, float value);
  float GetChunkProperty(const PString& name, float fallback) const;

  void RenderGeometry(Display* display, ViewPort* viewport, const VertexProgram* program, bool lit,
                      int pass);
  void RenderPrimitives(Display* display, ViewPort* viewport, const VertexProgram* program,
                        uint32_t first, const uint16_t* indices, uint32_t count, uint32_t primitive,
                        bool lit, int pass);
  bool InitializeBuffers(const Display* /*display*/, bool /*keep*/) { return true; }
  bool LoadBuffers(const Display* /*display*/) { return true; }
  bool DuplicateVertexArray();
  bool ResizeVertexArray(uint32_t vertices);
  uint32_t GetNumFaceNeighbors() const { return static_cast<uint32_t>(neighbors_.size()); }

  uint16_t* GetIndexArray() { return indices_.empty() ? nullptr : indices_.data(); }
  // Three floats per face normal.
  float* GetFaceNormalArray() {
    return faceNormalArray_.empty() ? nullptr : faceNormalArray_.data();
  }
  // Filled vectors: a reader sizes one and writes every entry.
  void SetFaceNeighborArray(FilledVector<FaceNeighbors> neighbors) {
    neighbors_ = std::move(neighbors);
  }
  const FilledVector<FaceNeighbors>& GetFaceNeighbors() const { return neighbors_; }

 private:
  GeometryChunk(uint32_t vertices, uint32_t faces, uint32_t faceNormals, uint32_t kind,
                const StandardChunkHint& hint)
      : vertices_(vertices), faces_(faces), faceNormals_(faceNormals), kind_(kind), hint_(hint) {
    // What the creator fills concerns this chunk alone, not its instances.
    hint_.filledElements = 0;
    hint_.filledIndices = false;
    hint_.filledFaceNormals = false;
  }
  GeometryChunk(const GeometryChunk&) = default;
  // Adds the element's stream, zeroed unless bit `element` of `filled` is set.
  void AddElement(uint32_t element, uint32_t filled = 0);
  void SizeIndices(uint32_t indices, bool filled);
  bool InLayout(uint32_t element) const {
    return layout_ != nullptr && layout_->GetItemOffset(element) >= 0 &&
           !(separateNormals_ && element == kNormal);
  }
  StridedArray<float> FloatArray(uint32_t element, uint32_t width);
  void AddStreams(uint32_t extraElements, const StandardChunkHint& made);

  uint32_t vertices_;
  uint32_t faces_;
  uint32_t faceNormals_;
  uint32_t kind_;
  StandardChunkHint hint_;
  uint32_t present_ = 0;
  std::array<FilledVector<float>, kElementCount> floatStreams_;
  std::array<FilledVector<uint32_t>, kElementCount> wordStreams_;
  FilledVector<uint16_t> indices_;
  FilledVector<float> faceNormalArray_;
  FilledVector<FaceNeighbors> neighbors_;
  uint32_t flags_ = 0;
  float opacity_ = 1.0f;
  std::vector<std::pair<PString, float>> properties_;
  std::vector<const void*> influenceMatrices_;
  std::vector<const Matrix4*> assignedMatrices_;
  const PackedVertexLayout* layout_ = nullptr;
  bool separateNormals_ = false;
  CountedBlock<uint32_t> vertexBlock_;
  uint32_t vertexTypeId_ = 0;
  Ref<VertexType> vertexType_;
  bool vertexDynamic_ = false;
  bool vertexShared_ = true;
  bool indexDynamic_ = false;
};

}  // namespace Kiv
