// Ids of containers and tags: unique within the process, never 0, never
// reused, so findings can name their owner without holding a pointer.
// Thread-safe.
#pragma once

#include <cstdint>

namespace TETLib {

uint64_t NextObjectId();

}  // namespace TETLib
