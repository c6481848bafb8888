// Kiv::ParticleBone: one bone of a skeleton, a named node of the scene tree
// with a position, an orientation (quaternion x, y, z, w) and the small box
// that makes it visible to culling. A bone owns its children, in the order
// they were added. FindByName searches this bone and its children depth
// first (names compared as interned strings, so exactly). Clone and
// CountBones walk the tree without recursion, whatever its depth.
//
// A bone of kind kScaledBone carries a scale of its own (x, y, z) that the
// skinning applies to its skin matrix alone, unless scaleSuppressed is set;
// other kinds ignore their scale.
//
// `matrix` is the bone's transform in its skeleton: R(q) * T(p) times its
// parent's matrix (the root's own pose), as UpdateMatrices last computed it
// for this bone and everything below; chunks may read it in place.
// Not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kiv/PString.h"
#include "kiv/basics/Matrix4.h"

namespace Kiv {

struct AxisAlignedBox {
  std::array<float, 3> min{0.0f, 0.0f, 0.0f};
  std::array<float, 3> max{0.0f, 0.0f, 0.0f};
};

class ParticleBone {
 public:
  ParticleBone() = default;
  // Takes the tree apart without recursion.
  ~ParticleBone();
  ParticleBone(const ParticleBone&) = delete;
  ParticleBone& operator=(const ParticleBone&) = delete;

  static constexpr uint32_t kPlainBone = 0;
  static constexpr uint32_t kScaledBone = 23;

  PString name;
  uint32_t kind = kPlainBone;
  std::array<float, 3> scale{1.0f, 1.0f, 1.0f};
  uint8_t scaleSuppressed = 0;
  uint8_t flags = 0;  // The scene's flag byte (bit value 2: hidden).
  std::array<float, 3> position{0.0f, 0.0f, 0.0f};
  std::array<float, 4> orientation{0.0f, 0.0f, 0.0f, 1.0f};
  AxisAlignedBox visibleBox;
  Matrix4 matrix;

  // Takes `child` over; answers it.
  ParticleBone* Add(std::unique_ptr<ParticleBone> child);
  const std::vector<std::unique_ptr<ParticleBone>>& Children() const { return children_; }
  ParticleBone* Parent() const { return parent_; }
  ParticleBone* FindByName(const PString& wanted);
  // A copy of this bone and everything below it (the copy has no parent).
  std::unique_ptr<ParticleBone> Clone() const;
  // This bone and every bone below it.
  size_t CountBones() const;
  void UpdateMatrices();

 private:
  ParticleBone* parent_ = nullptr;
  std::vector<std::unique_ptr<ParticleBone>> children_;
};

}  // namespace Kiv
