// Kiv::PackedVertexLayout: a vertex layout of one interleaved stream: the
// bytes of one vertex, the vertex type id the display knows it by, and the
// byte offset of each vertex item (GeometryChunk element code) within a
// vertex, -1 for an item the layout does not hold.
//
// The layouts of the program's materials:
//   PackedVertexPNT   position 0, normal 12, texture set 0 at 24: 32 bytes, type 18
//   PackedVertexPCT   position 0, colour 12, texture set 0 at 16: 24 bytes, type 19
//   PackedVertexPNTA  position 0, normal 12, texture set 0 at 24, tangent
//                     (the extra vector 27 of mesh files) at 32: 44 bytes, type 20
// Plain constants.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace Kiv {

struct PackedVertexLayout {
  static constexpr uint32_t kItems = 32;

  const char* name;
  uint32_t size;
  uint32_t vertexTypeId;
  std::array<int32_t, kItems> vertexItemOffset;

  int32_t GetItemOffset(uint32_t item) const {
    return item < kItems ? vertexItemOffset[item] : -1;
  }
};

constexpr PackedVertexLayout MakePackedVertexLayout(
    const char* name, uint32_t size, uint32_t id,
    std::initializer_list<std::pair<uint32_t, int32_t>> items) {
  PackedVertexLayout layout{name, size, id, {}};
  for (auto& offset : layout.vertexItemOffset) offset = -1;
  for (const auto& [item, offset] : items) layout.vertexItemOffset[item] = offset;
  return layout;
}

inline constexpr PackedVertexLayout PackedVertexPNT =
    MakePackedVertexLayout("PNT", 32, 18, {{1, 0}, {4, 12}, {15, 24}});
inline constexpr PackedVertexLayout PackedVertexPCT =
    MakePackedVertexLayout("PCT", 24, 19, {{1, 0}, {2, 12}, {15, 16}});
inline constexpr PackedVertexLayout PackedVertexPNTA =
    MakePackedVertexLayout("PNTA", 44, 20, {{1, 0}, {4, 12}, {15, 24}, {27, 32}});

}  // namespace Kiv
