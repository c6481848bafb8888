// Small helpers of the mesh instances.
//
// CloneGeometryChunk: a new chunk with the same streams, indices, face
// data, flags, properties and influence matrices (no reference taken);
// null when memory runs out. HasZeroScale: a scale with a zero component.
// LineMeetsBox: whether the line through `point` along `direction` (both
// ways) meets the oriented box, within a small tolerance so that flat
// boxes still count; a box with no axes (fitted to no points) is never
// met. Growable u32 arrays reserve capacity in steps of ten
// (ReserveInSteps). Pure functions; thread-safe on distinct objects.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kiv/display/GeometryChunk.h"
#include "kiv/scene/OrientedBox.h"
#include "render/instances/IntersectRayTriangle.h"

Kiv::GeometryChunk* CloneGeometryChunk(const Kiv::GeometryChunk& chunk);
bool HasZeroScale(const std::array<float, 3>& scale);
bool LineMeetsBox(const Kiv::OrientedBox& box, const Vector3& point, const Vector3& direction);
// Capacity for `wanted` elements: `wanted` rounded up to a multiple of 10.
size_t CapacityInStepsOfTen(size_t wanted);
void ReserveInSteps(std::vector<uint32_t>& array, size_t wanted);
