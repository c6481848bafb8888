// VandruIndexedMeshInstance: one indexed mesh definition placed in the
// scene. It culls and draws the definition's chunks with their materials,
// answers ray tests against its triangles and carries the definition's
// reference points and attachment particles.
//
// Chunks and materials: the instance holds counted lists of them. After
// SetDefinition they hold the definition's chunks and materials (each
// chunk and material counted once more); copies made by CreateInstance
// share the lists themselves until a change unshares them. UnshareChunks
// and UnshareMaterials give the instance lists of its own (same objects);
// CloneChunk gives it its own copy of one chunk, unsharing the list first
// when another holder shares it. Chunks flagged kPerInstanceChunk are
// cloned for every copy. AddChunk appends (after a clone, for a per-instance
// chunk) and refuses a chunk flagged shared-only or already held.
// MergeChunk appends a new chunk's geometry to the instance's own copy of
// chunk n: only when neither chunk is shared-only, the new one is held by
// nobody, n is a chunk of the instance, both are flagged kMergeable with
// merge kind 1, and the new chunk's material (given beside it, as
// AddChunk's is: the stand-in's chunks do not know their material) equals
// chunk n's; a refused append changes nothing. CloneMaterial gives the
// instance its own copy of material n, unsharing the list first.
//
// Cull (with the view point and the world matrix) adds the instance to the
// view point unless its opacity is 0 or below, or its scale has a zero
// component; Render draws every chunk that has faces through its
// material with the instance's lights. SetOpacity keeps the opacity and
// gives it to every chunk (chunks shared with other holders share it).
// SetScale updates the bounding volume (the oriented box scaled about its
// centre).
//
// Lighting (the Kiv::LightTarget part): Render recalculates the lights
// when the target is marked or forced and draws with them. DrawGeometry is
// the geometry pass: for each chunk with faces it sets the matrix on the
// display, sets the chunk material's lighting state when `lit`, and draws
// the chunk's geometry in one pass (the stand-in's chunks have no vertex
// program of their own).
//
// SetChunkTexture uploads a picture into the texture of slot 0 of chunk
// n's material (the texture the material holds, shared with whoever
// shares it; clone the material first for an instance of its own): bitmap
// formats 1, 2, 3, 4 become display formats 5, 1, 3, 8; other formats, a
// chunk past the instance's or a material without that texture give
// false. SetChunkTextureFromFile loads the picture from `path` joined with
// `name` first. CollectTransformedVertices appends every chunk's vertex
// positions turned by the row-major 3 x 3 matrix (row vectors: p * M),
// with `offset` added to x and y.
//
// TestCollisionGeometry: a scale with a zero component meets nothing, nor
// does an instance of opacity 0 or below; otherwise the ray is divided by
// the scale, must meet the oriented box (as a line, so that hits behind
// the origin stay consistent with the triangle test; see
// IntersectRayTriangle.h), and every triangle is tested, two-sided where
// the chunk's material is. A hit nearer than *distance sets it and the
// result (this, triangle, chunk).
//
// The scene context (the render kernel) supplies the display; it is not
// owned. Children (attachment particles, skeletons) are owned bone trees.
// Not thread-safe: the rendering thread's.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/String.h"
#include "kiv/basics/Bitmap.h"
#include "kiv/basics/CountedBlock.h"
#include "kiv/basics/Quaternion.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/Material.h"
#include "kiv/model/LightTarget.h"
#include "kiv/scene/ObjectLOD.h"
#include "kiv/scene/OrientedBox.h"
#include "kiv/scene/Particle.h"
#include "kiv/scene/ParticleBone.h"
#include "render/instances/IntersectRayTriangle.h"
#include "render/meshes/VandruGeometryBaseResource.h"

namespace Kiv {
class RenderKernel;
}

struct MeshRay {
  Vector3 point{0.0f, 0.0f, 0.0f};
  Vector3 direction{0.0f, 0.0f, 1.0f};
};

struct CollisionResult {
  const void* geometry = nullptr;
  uint32_t triangle = 0;
  uint32_t chunk = 0;
};

struct MeshReferencePoint {
  Kiv::PString name;
  std::vector<Kiv::PString> subNames;  // Kiv::ReferencePoint::GetSubNames of the name.
  std::array<float, 3> position{0.0f, 0.0f, 0.0f};
  Kiv::Quaternion orientation;
};

class VandruIndexedMeshInstance : public Kiv::Particle, public Kiv::LightTarget {
 public:
  using ChunkList = Kiv::CountedBlock<Kiv::Ref<Kiv::GeometryChunk>>;
  using MaterialList = Kiv::CountedBlock<Kiv::Ref<Kiv::Material>>;
  static constexpr uint32_t kPerInstanceChunk = 0x1000;
  static constexpr uint32_t kSharedOnlyChunk = Kiv::GeometryChunk::kSharedOnly;

  explicit VandruIndexedMeshInstance(Kiv::RenderKernel* context);
  ~VandruIndexedMeshInstance() override;
  VandruIndexedMeshInstance(const VandruIndexedMeshInstance&) = delete;
  VandruIndexedMeshInstance& operator=(const VandruIndexedMeshInstance&) = delete;

  void Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4& matrix) override;
  void Render(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix) override;
  // A new copy owned by the caller; null when memory runs out.
  virtual VandruIndexedMeshInstance* CreateInstance() const;
  virtual uint32_t GetID() const { return 17; }
  virtual float GetOpacity() const { return opacity_; }
  void SetOpacity(float opacity) override;
  virtual bool TestCollisionGeometry(const MeshRay& ray, float* distance, CollisionResult* result);
  virtual void SetResource(VandruGeometryBaseResource* resource);
  virtual void UnshareChunks();
  virtual void UnshareMaterials();
  virtual bool CloneChunk(uint32_t index);
  virtual bool CloneMaterial(uint32_t index);
  virtual bool AddChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material);
  virtual bool MergeChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material, uint32_t index);
  virtual void SetScale(const std::array<float, 3>& scale);
  const std::array<float, 3>& GetScale() const { return scale_; }
  virtual uint32_t GetFaceCount() const;
  virtual void CollectTransformedVertices(const Kiv::Matrix3& matrix,
                                          const std::array<float, 2>& offset,
                                          std::vector<Vector3>* out) const;
  virtual bool SetChunkTextureFromFile(uint32_t index, const Kiv::String& name,
                                       const Kiv::String& path);
  virtual bool SetChunkTexture(uint32_t index, const Kiv::Bitmap& bitmap);
  virtual void DrawGeometry(Kiv::Display* display, Kiv::ViewPort* viewport,
                            const Kiv::Matrix4& matrix, const Kiv::DisplayLightList* lights,
                            bool lit);
  virtual void UpdateBoundingVolume();
  virtual void SetDefinition(const VandruIndexedMeshDefinition& definition);
  // Attachment particles for the definition's attachments named "a...".
  void CreateAttachmentPoints(const VandruIndexedMeshDefinition& definition);

  Kiv::RenderKernel* GetContext() const { return context_; }
  Kiv::Display* GetDisplay() const;
  VandruGeometryBaseResource* GetResource() const { return resource_.get(); }
  uint32_t GetChunkCount() const { return chunkCount_; }
  const ChunkList& GetChunks() const { return chunks_; }
  const MaterialList& GetMaterials() const { return materials_; }
  bool IsScaled() const { return scaled_; }
  const Kiv::OrientedBox& GetBoundingVolume() const { return boundingVolume_; }
  // The bounding sphere in the world of `matrix`.
  Kiv::BoundingSphere GetBoundingSphere(const Kiv::Matrix4& matrix) const;
  const std::vector<MeshReferencePoint>& GetReferencePoints() const { return referencePoints_; }
  // Children: attachment particles and skeletons, owned.
  const std::vector<std::unique_ptr<Kiv::ParticleBone>>& GetChildren() const { return children_; }
  Kiv::ParticleBone* AddChild(std::unique_ptr<Kiv::ParticleBone> child);
  Kiv::ParticleBone* FindByName(const Kiv::PString& name) const;

 protected:
  // The copy set-up of CreateInstance: this fresh instance takes `source`'s
  // state, sharing its lists (CopyState), then clones per-instance chunks.
  void InitInstance(const VandruIndexedMeshInstance& source);
  void CopyState(const VandruIndexedMeshInstance& source);
  // The definition's bounds, boxes, texture scale, name and reference
  // points (SetDefinition without the chunks).
  void TakeShape(const VandruIndexedMeshDefinition& definition);
  void CloneChildren(const VandruIndexedMeshInstance& source);
  // Whether another holder shares the chunk list.
  virtual bool ChunkListShared() const { return chunks_.Uses() > 1; }
  bool IsCulledThisFrame(const Kiv::ViewPoint& viewPoint) const;
  void DrawChunks(Kiv::Display* display, Kiv::ViewPort* viewport, const Kiv::Matrix4& matrix,
                  uint32_t count, const ChunkList& chunks, const MaterialList& materials);
  void DrawChunkGeometry(Kiv::Display* display, Kiv::ViewPort* viewport,
                         const Kiv::Matrix4& matrix, const Kiv::DisplayLightList* lights,
                         bool lit, uint32_t count, const ChunkList& chunks,
                         const MaterialList& materials);
  static Kiv::Matrix4 ScaleRows(const Kiv::Matrix4& matrix, const std::array<float, 3>& scale);

  Kiv::RenderKernel* context_;
  Kiv::Ref<VandruGeometryBaseResource> resource_;
  uint32_t chunkCount_ = 0;
  ChunkList chunks_;
  MaterialList materials_;
  float opacity_ = 1.0f;
  std::array<float, 3> scale_{1.0f, 1.0f, 1.0f};
  std::array<float, 3> boundsMax_{0.0f, 0.0f, 0.0f};
  std::array<float, 3> boundsMin_{0.0f, 0.0f, 0.0f};
  Kiv::OrientedBox orientedBox_;
  Kiv::OrientedBox boundingVolume_;
  float textureScale_ = 0.0f;
  bool scaled_ = false;
  Kiv::Matrix4 storedMatrix_;
  std::vector<MeshReferencePoint> referencePoints_;
  std::vector<std::unique_ptr<Kiv::ParticleBone>> children_;
  Kiv::ParticleBone* rootBone_ = nullptr;  // A child skeleton's root, when there is one.
};
