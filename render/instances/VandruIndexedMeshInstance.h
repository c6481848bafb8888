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
// chunk) and refuses a chunk flagged shared-only or already held; merging
// chunks is refused.
//
// Cull (with the view point and the world matrix) adds the instance to the
// view point unless its opacity is 0 or below, or its scale has a zero
// component; Render draws every chunk that has faces through its
// material. SetOpacity keeps the opacity for the instance (the stand-in's
// chunks have none of their own). SetScale updates the
// bounding volume (the oriented box scaled about its centre).
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
#include "kiv/basics/CountedBlock.h"
#include "kiv/basics/Quaternion.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/Material.h"
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
  std::array<float, 3> position{0.0f, 0.0f, 0.0f};
  Kiv::Quaternion orientation;
};

class VandruIndexedMeshInstance : public Kiv::Particle {
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
  virtual bool AddChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material);
  virtual bool MergeChunk(Kiv::GeometryChunk* chunk, uint32_t index);
  virtual void SetScale(const std::array<float, 3>& scale);
  const std::array<float, 3>& GetScale() const { return scale_; }
  virtual uint32_t GetFaceCount() const;
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
