#include "tetlib/ObjectId.h"

#include <atomic>

namespace TETLib {

uint64_t NextObjectId() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace TETLib
