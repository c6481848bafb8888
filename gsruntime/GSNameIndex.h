// GSRuntime::GSNameIndex: finds an entry of a list by its name in constant
// time, so that loading and linking a library with many classes, or a class
// with many functions, never searches a list from end to end.
//
// Build(count, nameOf, repeats) indexes entries 0 .. count - 1, whose names
// nameOf(i) gives as terminated texts; the index keeps per entry the hash
// of its name, its length and its number in an open-addressing table at
// most half full, and leaves the names to the caller, which must keep them
// unchanged while the index is used. Where several entries bear one name,
// the one found is the first of them (kFirstFound) or the last
// (kLastFound). Find(text, nameOf), with the same `nameOf`, answers the
// entry named exactly `text`, or kNone; an index never built finds nothing.
//
// Hash(text) is the hash the index uses: eight bytes a step, since the
// names of one class's functions share a long "$type@Class::" head.
//
// Memory: 12 bytes per slot, 32 slots or more. A table that cannot be
// allocated throws std::bad_alloc, as the other tables of a library do.
// Not thread-safe.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace GSRuntime {

class GSNameIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;
  enum Repeats { kFirstFound, kLastFound };

  bool Built() const { return !slots_.empty(); }

  template <typename NameOf>
  void Build(uint32_t count, NameOf nameOf, Repeats repeats) {
    size_t size = 32;
    while (size < 2 * size_t{count}) size *= 2;
    slots_.assign(size, Slot{});
    for (uint32_t i = 0; i < count; ++i) {
      const std::string_view name(nameOf(i));
      Slot& slot = slots_[Locate(name, nameOf)];
      if (slot.entry == 0 || repeats == kLastFound)
        slot = Slot{Hash(name), i + 1, static_cast<uint32_t>(name.size())};
    }
  }

  template <typename NameOf>
  uint32_t Find(std::string_view text, NameOf nameOf) const {
    if (slots_.empty()) return kNone;
    const Slot& slot = slots_[Locate(text, nameOf)];
    return slot.entry == 0 ? kNone : slot.entry - 1;
  }

  static uint32_t Hash(std::string_view text);

 private:
  struct Slot {
    uint32_t hash = 0;
    uint32_t entry = 0;  // the entry's number + 1; 0: empty
    uint32_t length = 0;
  };

  // The slot that holds `text`, or the empty one where it would go.
  template <typename NameOf>
  size_t Locate(std::string_view text, NameOf nameOf) const {
    const size_t mask = slots_.size() - 1;
    const uint32_t hash = Hash(text);
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.entry == 0) return at;
      if (slot.hash == hash && slot.length == text.size() &&
          std::memcmp(text.data(), nameOf(slot.entry - 1), slot.length) == 0)
        return at;
    }
  }

  std::vector<Slot> slots_;
};

}  // namespace GSRuntime
