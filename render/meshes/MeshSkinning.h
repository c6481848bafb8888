// Pieces shared by the skinning set-up and skeletons of the indexed and LOD
// mesh definitions.
//
// SkinPlacer writes bone influences into the skin streams of geometry
// chunks (elements 5 to 8 float weights, 9 packed weights, 10 bone
// indices). Each vertex takes up to four influences in arrival order: the
// k-th goes to weight position k, byte k of the index word becomes the
// palette slot times 3, and byte k + 1 the marker 0xFE (no marker after
// position 3); the first also clears the other weights. A chunk with only
// the one-float weight stream keeps the last influence (weight and index
// word 3s). Influences beyond the fourth, vertices outside the chunk and
// slots whose index byte would overflow are skipped. One placer serves one
// set-up pass over any number of chunks.
//
// BuildBoneTree makes a skeleton of named bones: the first bone without a
// parent name is the root; further parentless bones, bones whose parent is
// not found and bones whose parents would form a loop hang under the root;
// the others under the first bone of their parent's name. Each bone's
// visible box spans `boxHalf` around it. Null when no bone lacks a parent
// name.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "kiv/PString.h"
#include "kiv/basics/Quaternion.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/scene/ParticleBone.h"

class SkinPlacer {
 public:
  static constexpr uint32_t kMaxInfluencesPerVertex = 4;
  static constexpr uint32_t kMaxSlot = 84;  // 3 * 84 = 252 still fits a byte below the marker.

  // True when `chunk` has a bone-index stream and a weight stream.
  static bool CanSkin(Kiv::GeometryChunk& chunk);
  void Place(Kiv::GeometryChunk& chunk, uint32_t slot, uint32_t vertex, float weight);

 private:
  std::unordered_map<const Kiv::GeometryChunk*, std::vector<uint8_t>> counts_;
};

struct BoneSource {
  Kiv::PString name;
  Kiv::PString parentName;
  std::array<float, 3> position{};
  Kiv::Matrix3 rotation{};
};

std::unique_ptr<Kiv::ParticleBone> BuildBoneTree(const std::vector<BoneSource>& bones,
                                                 float boxHalf);
