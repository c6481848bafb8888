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
// GetTriangleNeighbour reads the chunk's face-neighbour array: the
// triangle across edge `edge` (0..2) of `triangle`, an entry of 0xFFFFFFFF
// meaning none, else the chunk index in the high 16 bits and the triangle
// in the low 16; false for none or a triangle or edge the array lacks.
// GetTriangleCentroid is the mean of the corners (each coordinate times
// 0.33333334); GetTriangleNormal the normalised cross product of the
// edges from corner 0, false when its squared length is below 1e-9.
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

bool GetTriangleNeighbour(Kiv::GeometryChunk& chunk, uint32_t triangle, uint32_t edge,
                          TriangleKey* neighbour);
bool GetTriangleCentroid(Kiv::GeometryChunk& chunk, uint32_t triangle, Vector3* centroid);
bool GetTriangleNormal(Kiv::GeometryChunk& chunk, uint32_t triangle, Vector3* normal);

// `materials` may be null or hold null entries (one-sided then).
bool TestRayAgainstChunks(uint32_t count, const Kiv::Ref<Kiv::GeometryChunk>* chunks,
                          const Kiv::Ref<Kiv::Material>* materials, const Vector3& origin,
                          const Vector3& direction, float* best, TriangleKey* hit);
