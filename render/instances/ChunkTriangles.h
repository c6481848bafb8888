// Triangles of geometry chunks, as the mesh instances give them to the
// engine and test rays against them.
//
// A chunk's triangles follow its geometry kind: a list (kind 0) has one
// triangle per three indices, a strip (1) and a fan (2) one per index after
// the second; other kinds (lines, points) have none. Corner k of strip
// triangle t runs t, t + 1, t + 2 for even t and t + 1, t, t + 2 for odd t,
// so that every strip triangle turns the same way; a fan's corner 0 is the
// fan's centre, index 0. GetTriangleCorners answers false for a triangle
// past the end or one whose indices point past the chunk's vertices (such
// a triangle is never met by a ray).
//
// TestRayAgainstChunks tests every triangle of every chunk in order
// (two-sided where the chunk's material is), narrowing `*best`; a hit that
// is strictly nearer becomes the answer (chunk, triangle). Not thread-safe
// for chunks that change meanwhile.
#pragma once

#include <array>
#include <cstdint>

#include "kiv/ReferenceCount.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/Material.h"
#include "render/instances/IntersectRayTriangle.h"

struct TriangleKey {
  uint32_t chunk = 0;
  uint32_t triangle = 0;
};

uint32_t GetTriangleCount(Kiv::GeometryChunk& chunk);
bool GetTriangleCorners(Kiv::GeometryChunk& chunk, uint32_t triangle,
                        std::array<uint32_t, 3>* corners);
bool GetTrianglePositions(Kiv::GeometryChunk& chunk, uint32_t triangle,
                          std::array<Vector3, 3>* positions);

// `materials` may be null or hold null entries (one-sided then).
bool TestRayAgainstChunks(uint32_t count, const Kiv::Ref<Kiv::GeometryChunk>* chunks,
                          const Kiv::Ref<Kiv::Material>* materials, const Vector3& origin,
                          const Vector3& direction, float* best, TriangleKey* hit);
