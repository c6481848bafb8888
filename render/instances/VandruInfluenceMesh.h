// VandruInfluenceMesh: deforms a skinned mesh instance by its skeleton.
//
// One node per bone (name, parent name, bind pose, the bone particle that
// drives it) with one group per group index: the indexed and progressive
// instances use one group, the LOD instances one per level. A group is
// skinned on the display (its chunks read each node's skin matrix in
// place, as influence matrix i = node i, assigned once at set-up) or in
// software (each update rebuilds the chunks' positions from weighted
// bone-local positions).
//
// Matrices are row-major for row vectors; a node's world matrix is
// W = R(q) * T(p) * parent, q and p the bone's current orientation and
// position (the node's bind pose when it has no bone). After a display
// update skinMatrix is inverseBindMatrix * W for a bound node, W for one
// without a bone. A bone of kind kScaledBone whose scale is not suppressed
// scales rows 1 to 3 of its own world matrix (children inherit the
// unscaled one).
//
// The tree: the last node without a parent name is the root; other
// parentless nodes and nodes whose parent is not found are left out of
// the tree (logged) and never bound or updated. Without a root the bind and
// update passes do nothing.
//
// Software updates zero every vertex position of the group's chunks first
// and then add weight * (world of the node applied to the bone-local
// position) for each weight record, so vertices that no record names end
// at (0, 0, 0). Records whose vertex is past the chunk's vertices, entries
// whose chunk index is past the chunks given and group indexes past a
// node's groups are skipped, and chunks without positions are left alone.
// A group index past the first node's groups updates and resets nothing.
//
// Update does nothing for a non-zero frame stamp already stored for the
// group index. Chunk arrays are the caller's (counted handles, `count`
// entries). Not thread-safe: runs on the thread that draws the instance.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/basics/CountedBlock.h"
#include "kiv/basics/Matrix4.h"
#include "kiv/basics/Quaternion.h"
#include "kiv/basics/Transformation.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/model/InfluenceDefinition.h"
#include "kiv/scene/ParticleBone.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"

class VandruInfluenceMesh {
 public:
  struct WeightRecord {
    uint32_t vertexIndex = 0;
    float weight = 0.0f;
    std::array<float, 3> position{0.0f, 0.0f, 0.0f};  // In the bone's space.
  };
  struct Entry {
    uint32_t chunkIndex = 0;
    std::vector<WeightRecord> records;
  };
  struct Group {
    uint8_t hardwareSkinning = 0;
    std::vector<Entry> entries;  // Empty for a display-skinned group.
  };
  struct Node {
    Kiv::PString name;
    Kiv::PString parentName;
    Kiv::Matrix4 skinMatrix;
    Kiv::Matrix4 inverseBindMatrix;
    Kiv::ParticleBone* bone = nullptr;  // Not owned.
    std::vector<Group> groups;
    Kiv::Quaternion bindOrientation;
    std::array<float, 3> bindPosition{0.0f, 0.0f, 0.0f};
    std::vector<Node*> children;  // In node order.
  };
  using Chunks = const Kiv::Ref<Kiv::GeometryChunk>*;
  using Levels = Kiv::CountedBlock<VandruIndexedMeshLODDefinition::Level>;

  VandruInfluenceMesh() = default;
  virtual ~VandruInfluenceMesh() = default;
  VandruInfluenceMesh(const VandruInfluenceMesh&) = delete;
  VandruInfluenceMesh& operator=(const VandruInfluenceMesh&) = delete;

  // Finds each node's bone under `skeleton` (not owned; it outlives the
  // binding) and computes the bind matrices.
  virtual void BindSkeleton(Kiv::ParticleBone* skeleton);
  virtual void ResetPositions(uint32_t chunkCount, Chunks chunks, uint32_t group);
  virtual void Update(uint32_t chunkCount, Chunks chunks, uint32_t frameStamp, uint32_t group);
  // One node per bone of `table`, one group per level of `levels`.
  virtual void InitFromBoneTable(const std::vector<VandruIndexedMeshLODDefinition::BoneRecord>& table,
                                 const Levels& levels);
  // One node per influence, one group each.
  virtual void InitFromInfluences(uint32_t count, const Kiv::InfluenceDefinition* influences,
                                  uint8_t hardwareSkinning, uint32_t chunkCount, Chunks chunks);
  virtual const Node* GetRootNode() const { return root_; }

  // Makes this mesh a deep copy of `source` (bones shared, skeleton not
  // copied, every frame stamp 0).
  void Create(const VandruInfluenceMesh& source);
  // Gives every chunk influence matrix i = node i's skin matrix.
  void AssignInfluenceMatrices(uint32_t chunkCount, Chunks chunks) const;
  // Assigns null where a chunk still reads one of this mesh's matrices
  // (before the mesh goes away).
  void ReleaseInfluenceMatrices(uint32_t chunkCount, Chunks chunks) const;
  static void CopyEntry(Entry* destination, const Entry& source) { *destination = source; }
  void LinkNodes();

  uint32_t GetNodeCount() const { return static_cast<uint32_t>(nodes_.size()); }
  const Node& GetNode(uint32_t i) const { return nodes_[i]; }
  Kiv::ParticleBone* GetSkeleton() const { return skeleton_; }
  const std::vector<uint32_t>& GetFrameStamps() const { return frameStamps_; }

 private:
  // Group indexes the first node has (the first node decides the mode).
  bool HasGroup(uint32_t group) const;
  bool IsDisplaySkinned(uint32_t group) const;
  void BindNode(Node& node, const Kiv::Matrix4& parent);
  void UpdateMatrices(Node& node, const Kiv::Matrix4& parent);
  void UpdatePositions(Node& node, const Kiv::Transformation& parent, uint32_t chunkCount,
                       Chunks chunks, uint32_t group);

  std::vector<Node> nodes_;  // Never resized once linked: children and chunks point in.
  Node* root_ = nullptr;
  Kiv::ParticleBone* skeleton_ = nullptr;
  std::vector<uint32_t> frameStamps_;
};
