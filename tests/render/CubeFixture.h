// A closed cube of side 2 around the origin for ray and instance tests:
// two chunks of three faces each, every face two triangles wound
// counter-clockwise seen from outside. Chunk 0 holds the faces +x, -x, +y,
// chunk 1 the faces -y, +z, -z (face f of a chunk is triangles 2f, 2f + 1;
// the first triangle of a face is the half where v <= u in the
// face's own axes listed below).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tests/render/MeshFixtureWriter.h"

namespace meshfixture {

// Face normal, then the face's axes u and v with u x v = normal.
struct CubeFace {
  std::array<float, 3> normal, u, v;
};

inline const std::array<CubeFace, 6>& CubeFaces() {
  static const std::array<CubeFace, 6> faces{{
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
      {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
      {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
      {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
      {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
  }};
  return faces;
}

inline GeometrySpec CubeHalf(int firstFace) {
  GeometrySpec g;
  g.vertices = 12;
  g.faces = 6;
  g.faceNormals = 6;
  g.indices.clear();
  const float signs[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (int f = 0; f < 3; ++f) {
    const CubeFace& face = CubeFaces()[firstFace + f];
    for (const auto& s : signs) {
      for (int axis = 0; axis < 3; ++axis)
        g.positions.push_back(face.normal[axis] + s[0] * face.u[axis] + s[1] * face.v[axis]);
    }
    const uint16_t b = uint16_t(f * 4);
    for (uint16_t i : {0, 1, 2, 0, 2, 3}) g.indices.push_back(uint16_t(b + i));
  }
  return g;
}

inline MeshSpec CubeMesh(bool twoSided) {
  MeshSpec spec;
  spec.chunks.assign(2, ChunkSpec{});
  for (int c = 0; c < 2; ++c) {
    spec.chunks[c].geometry = CubeHalf(3 * c);
    spec.chunks[c].geometry.name = c == 0 ? "sides" : "ends";
    spec.chunks[c].material.twoSided = twoSided ? 1 : 0;
    spec.chunks[c].material.textures.clear();
  }
  return spec;
}

inline std::string MeshBytes(const MeshSpec& spec) {
  const std::vector<uint8_t> bytes = WriteMesh(spec);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace meshfixture
