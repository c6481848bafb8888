// GSRuntime::GSConstantStrings: the strings a context hands out for the
// string constants of running code (PUSHSTR), kept for the next use.
//
// Scripts may change a string in place, so a constant cannot be one shared
// string. Instead each context keeps, in a small table keyed by the address
// of the constant's text in its library (two ways per key), the last
// strings made for constants, holding one count on each. Take(literal) hands that string out again
// (one more count) when nothing else holds it and its text still reads the
// literal: nobody can then tell it from a new string. Otherwise it makes a
// new string in the context (GSString::Create: the same meter, refusals
// and pool as before) and keeps that one instead. Either way the bytes of
// the literal are charged to the run's work budget as a copy would be.
//
// The kept strings are objects of the context's pool: the pool teardown
// frees them with everything else, so the table releases nothing itself;
// Take bypasses the table once the pool is being destroyed.
//
// Not thread-safe (one per context).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSSameText.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"
#include "gsruntime/GSValue.h"
#include "gsruntime/TrackedObjectPool.h"

namespace GSRuntime {

class GSContext;

class GSConstantStrings {
 public:
  static constexpr size_t kSlots = 64;

  // `pool` is the pool of the context that owns the table.
  explicit GSConstantStrings(const TrackedObjectPool& pool) : pool_(pool) {}
  GSConstantStrings(const GSConstantStrings&) = delete;
  GSConstantStrings& operator=(const GSConstantStrings&) = delete;

  // A counted string in `context` reading `literal`; 0 when refused (as
  // GSString::Create). Inline: every use of a string constant runs it.
  [[gnu::always_inline]] GSValue Take(std::string_view literal, GSContext& context) {
    Entry* pair = PairOf(literal);
    if (!pool_.BeingDestroyed()) {
      for (Entry* entry = pair; entry != pair + 2; ++entry) {
        // Handed out again only when nothing but the table holds it and it
        // still reads the literal.
        if (entry->key != literal.data() || entry->instance == nullptr ||
            entry->instance->count != 1 || !GSSameText(entry->string->text, literal))
          continue;
        ++entry->instance->count;
        if (literal.size() >= kGSBytesPerWorkUnit) GSChargeMovedBytes(literal.size());
        return entry->instance->Block0();
      }
    }
    return Make(literal, context, pair);
  }

 private:
  struct Entry {
    const char* key = nullptr;
    GSString* string = nullptr;  // one count held here
    // The string's instance (null: none), so that its count is read
    // without going through the reference.
    GSScriptInstance* instance = nullptr;
  };

  Entry* PairOf(std::string_view literal) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(literal.data());
    return entries_ + ((address ^ (address >> 6)) % kSlots & ~size_t{1});
  }
  // A new string for `literal`, kept in `pair` unless the pool is being
  // destroyed.
  GSValue Make(std::string_view literal, GSContext& context, Entry* pair);

  const TrackedObjectPool& pool_;
  Entry entries_[kSlots];  // pairs of ways: a constant goes into one pair
  uint8_t turns_[kSlots / 2] = {};  // per pair: the way replaced next when both are taken
};

}  // namespace GSRuntime
