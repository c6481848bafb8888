#include "gsnative/SoupCharge.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "gsruntime/GSAllocationMeter.h"

namespace {

uint64_t Add(uint64_t a, uint64_t b) {
  return std::min(a + b, kSoupBytesSaturated);  // both stay below 2^62
}

}  // namespace

uint64_t SoupTagBytes(const Kiv::PString& name, const ACSChunk* child) {
  uint64_t bytes = kSoupTagBytes + name.Length();
  if (child != nullptr && child->GetType() != SoupType::kContainer) bytes += child->GetDataSize();
  return bytes;
}

uint64_t ExpandedSoupBytes(const ACSChunk* tree) {
  if (tree == nullptr || tree->GetType() != SoupType::kContainer) return 0;
  struct Frame {
    explicit Frame(const ACSChunk* c) : chunk(c) {}
    const ACSChunk* chunk;
    uint32_t next = 0;
    uint64_t sum = 0;
    ChildCursor cursor;
  };
  std::unordered_map<const ACSChunk*, uint64_t> measured;  // containers done
  std::vector<Frame> open;
  open.emplace_back(tree);
  uint64_t visited = 0;
  uint64_t result = 0;
  while (!open.empty()) {
    Frame& frame = open.back();
    const Kiv::PString* name = nullptr;
    const ACSChunk* child = nullptr;
    if (!frame.chunk->GetChildAtCursor(frame.next, frame.cursor, name, child)) {
      const uint64_t sum = frame.sum;
      measured.emplace(frame.chunk, sum);
      open.pop_back();
      if (open.empty()) {
        result = sum;
      } else {
        open.back().sum = Add(open.back().sum, sum);
        ++open.back().next;
      }
      continue;
    }
    ++visited;
    frame.sum = Add(frame.sum, SoupTagBytes(*name, child));
    if (child == nullptr || child->GetType() != SoupType::kContainer) {
      ++frame.next;
      continue;
    }
    auto done = measured.find(child);
    if (done != measured.end()) {
      frame.sum = Add(frame.sum, done->second);
      ++frame.next;
      continue;
    }
    open.emplace_back(child);  // `frame` is not used past this point
  }
  GSRuntime::GSChargeMovedBytes(visited * kSoupTagBytes);
  return result;
}
