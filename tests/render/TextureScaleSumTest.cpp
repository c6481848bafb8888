// The texture scale sums of tight vertex arrays are those of the same
// vertices in wider records, to the bit, whichever vertices the triangles
// name; tight positions are read without passing their array's end.
#include "render/meshes/TextureScaleSum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

uint32_t Bits(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, 4);
  return bits;
}

// `vertices` positions and texture pairs, tight (12 and 8 bytes apart) in
// arrays of exactly their size, and the same in records of 32 bytes.
struct Vertices {
  explicit Vertices(uint32_t vertices)
      : positions(new float[3 * vertices]),
        pairs(new float[2 * vertices]),
        records(8 * size_t(vertices)) {
    for (uint32_t v = 0; v < vertices; ++v) {
      const float p[3] = {float(v % 9) * 0.75f, float(v * v % 11), float(v % 4) - 2.5f};
      const float t[2] = {float(v % 5) * 0.125f, float(v % 7) * 0.3f};
      std::memcpy(&positions[3 * v], p, 12);
      std::memcpy(&pairs[2 * v], t, 8);
      std::memcpy(&records[8 * v], p, 12);
      std::memcpy(&records[8 * v + 4], t, 8);
    }
  }
  template <typename T>
  static Kiv::StridedArray<float> Array(T* data, uint32_t stride) {
    return {reinterpret_cast<uint8_t*>(data), stride};
  }

  std::unique_ptr<float[]> positions;
  std::unique_ptr<float[]> pairs;
  std::vector<float> records;
};

TEST(TextureScaleSum, TightArraysSumAsWiderRecordsWhateverVerticesAreNamed) {
  constexpr uint32_t kVertices = 50;
  Vertices vertices(kVertices);
  // Triangles naming the last vertex (whose position ends the tight array)
  // in the first block only, in every block, in the rest after the whole
  // blocks, and never.
  const struct {
    const char* what;
    uint32_t triangles;
    uint32_t lastEvery;  // every this many triangles name the last vertex (0: never)
  } cases[] = {
      {"last vertex in the first triangle", 200, 1000}, {"last vertex in every block", 300, 61},
      {"last vertex past the whole blocks", 131, 130},   {"never the last vertex", 140, 0},
      {"one triangle naming it", 1, 1},
  };
  for (const auto& c : cases) {
    std::vector<uint16_t> index;
    for (uint32_t i = 0; i < c.triangles; ++i) {
      const bool last = c.lastEvery != 0 && i % c.lastEvery == 0;
      index.insert(index.end(), {uint16_t((i * 7) % (kVertices - 1)),
                                 uint16_t(last ? kVertices - 1 : (i * 3 + 1) % (kVertices - 1)),
                                 uint16_t((i * 5 + 2) % (kVertices - 1))});
    }
    TextureScaleSum tight, wide;
    tight.AddTriangles(Vertices::Array(vertices.positions.get(), 12),
                       Vertices::Array(vertices.pairs.get(), 8), kVertices, index.data(),
                       c.triangles);
    wide.AddTriangles(Vertices::Array(vertices.records.data(), 32),
                      Vertices::Array(vertices.records.data() + 4, 32), kVertices, index.data(),
                      c.triangles);
    EXPECT_GT(tight.Scale(), 0.0f) << c.what;
    EXPECT_EQ(Bits(tight.Scale()), Bits(wide.Scale())) << c.what;
  }
}

}  // namespace
