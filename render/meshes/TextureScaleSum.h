// The sums behind an indexed mesh's texture scale: over its triangles, the
// world-to-texture ratios of the two edges from the first corner, weighted
// by half the product of the edges' world lengths.
//
// A triangle whose texture edges have a length product of 0.00001 or less
// adds nothing. Scale() answers min(8 * weighted mean ratio, largest ratio),
// or 0 when no triangle added weight. The terms are added in triangle order
// with the same float and double operations whichever chunks they come
// from, so the result does not depend on how the calls split the triangles.
//
// AddTriangles reads `triangles` triples of `index`; both arrays hold
// `vertices` vertices and every index must be below it (the loader checks
// them). Nothing here fails.
#pragma once

#include <cstdint>

#include "kiv/display/GeometryChunk.h"

class TextureScaleSum {
 public:
  void AddTriangles(Kiv::StridedArray<float> positions, Kiv::StridedArray<float> texCoords,
                    uint32_t vertices, const uint16_t* index, uint32_t triangles);
  float Scale() const;

 private:
  struct Terms {
    double sum = 0.0;
    double weights = 0.0;
    float largest = 0.0f;

    // One triangle: its texture edge lengths u and v, world edge lengths a, b.
    void Add(float u, float v, float a, float b);
    // A triangle that has texture area: its weight m (a * b / 2) and ratios
    // a / u and b / v.
    void Take(float m, float ratioA, float ratioB);
    // The same with its term (m * ratioA + m * ratioB), weight and larger
    // ratio computed.
    void Sum(double term, double weight, float ratio);
  };

  Terms terms_;
};
