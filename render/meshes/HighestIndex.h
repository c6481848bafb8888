// The highest index of a run of 16-bit indices, for the mesh readers'
// check that every index names a vertex, and for the measures.
#pragma once

#include <cstdint>

// The highest of `count` indices at `index` (0 for none). Nothing fails.
uint32_t HighestIndex(const uint16_t* index, uint32_t count);
