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

#include "gsruntime/GSValue.h"

namespace GSRuntime {

class GSContext;
class GSString;

class GSConstantStrings {
 public:
  static constexpr size_t kSlots = 64;

  // A counted string in `context` reading `literal`; 0 when refused (as
  // GSString::Create).
  GSValue Take(std::string_view literal, GSContext& context);

 private:
  struct Entry {
    const char* key = nullptr;
    GSString* string = nullptr;  // one count held here
    GSValue ref = 0;             // string's instance; 0: none
  };
  Entry entries_[kSlots];  // pairs of ways: a constant goes into one pair
  uint8_t turns_[kSlots / 2] = {};  // per pair: the way replaced next when both are taken
};

}  // namespace GSRuntime
