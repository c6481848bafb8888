#include "gsruntime/GSMessage.h"

#include <new>
#include <utility>

namespace GSRuntime {

namespace {

// The blocks of messages freed on this thread, linked through themselves.
struct SpareBlocks {
  struct Block {
    Block* next;
  };
  Block* head = nullptr;
  size_t count = 0;

  // Messages freed later on this thread (by objects destroyed after the
  // thread's own) go straight to the heap.
  ~SpareBlocks() {
    while (head != nullptr) ::operator delete(std::exchange(head, head->next));
    count = GSMessage::kSpareBlocks;
  }
};

thread_local SpareBlocks spareBlocks;

}  // namespace

void* GSMessage::operator new(size_t size, const std::nothrow_t&) noexcept {
  SpareBlocks& spare = spareBlocks;
  if (size != sizeof(GSMessage) || spare.head == nullptr) return ::operator new(size, std::nothrow);
  --spare.count;
  return std::exchange(spare.head, spare.head->next);
}

void GSMessage::operator delete(void* block, size_t size) noexcept {
  SpareBlocks& spare = spareBlocks;
  if (block == nullptr) return;
  if (size != sizeof(GSMessage) || spare.count >= kSpareBlocks) {
    ::operator delete(block);
    return;
  }
  static_assert(sizeof(GSMessage) >= sizeof(SpareBlocks::Block));
  spare.head = new (block) SpareBlocks::Block{spare.head};
  ++spare.count;
}

GSMessageRef GSMessage::Create() {
  GSMessage* message = new (std::nothrow) GSMessage;
  return message != nullptr ? GSMessageRef(message) : GSMessageRef();
}

GSMessageRef GSMessage::Clone() const {
  GSMessageRef copy = Create();
  if (!copy) return copy;
  copy->major = major;
  copy->minor = minor;
  copy->source = source;
  copy->destination = destination;
  copy->due = due;
  copy->payload = payload;
  return copy;
}

uint32_t GSDelayMilliseconds(float seconds) {
  const double ms = static_cast<double>(seconds) * 1000.0;
  if (!(ms >= 1.0)) return 0;  // NaN, negative, or under a millisecond
  if (ms >= static_cast<double>(GSMessage::kDueMask)) return GSMessage::kDueMask;
  return static_cast<uint32_t>(ms);
}

}  // namespace GSRuntime
