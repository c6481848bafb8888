// The value-kind check of GSCodeVerifier (GSCodeVerifier.h), run on code
// whose operands and stack depths have already been checked
// (GSStackDepth.h).
//
// Along every path from the entry it tracks the kind of every operand-stack
// slot: 0 (PUSH0, a valid number and a valid null), int, float, a number of
// either kind, a string, a reference, or the result of a call. Frame slots
// have one kind for the whole function: slot 0 and the slots the frame
// releases (GSFunction::referenceSlots) hold references, every other slot
// numbers. Every instruction must find the kinds it works on: numbers for
// arithmetic, jumps on a value, plain stores and POP/DUP; references for
// the reference loads and stores, POPREF/DUPREF, strings, arrays, members
// and the object of a call; int where an int is read as an index, float
// for float arithmetic. Where paths meet, int and float become "number",
// a string and a reference "reference", 0 takes the other kind; a number
// and a reference may meet only if neither is used afterwards. RETV and
// RETREF must return what the signature says (GSValueKind.h).
//
// A call's result has the kind its callee returns, which only the running
// code knows. The first use of the result fixes the kind the site expects
// (two call results that meet expect the same); a result that only goes on
// as an argument of a later call is left to that call's check
// (GSCallSite::kCallResultPassedOn). The check is repeated until no site's
// expectation changes. On success `calls` describes every reachable call
// (GSCallSite) in ascending offset order.
//
// Bounded: the kinds of at most kMaxTrackedSlots operand slots are stored
// for one function; larger functions are refused.
//
// The check's working storage lives in a GSKindStorage that the caller
// keeps from one function to the next, so that a load allocates only while
// its functions grow.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <vector>

#include "gsruntime/GSStackDepth.h"

namespace GSRuntime {

struct GSCallSite;
struct GSFunction;

inline constexpr uint64_t kMaxTrackedSlots = uint64_t{1} << 24;

struct GSKindStorage {
  std::vector<uint64_t> offsets;  // per instruction: where its kinds start in states
  std::vector<uint32_t> states;   // the operand kinds before each reached instruction
  std::vector<int32_t> callOf;    // per instruction: its call number, or -1
  std::vector<uint32_t> parent;   // union-find of call results that meet
  std::vector<uint8_t> resolved;  // per call-result class: the kind expected, or none
  std::vector<uint8_t> refSlot;   // per frame slot: 1 when it holds a reference
  std::vector<uint8_t> seen;
  std::vector<uint32_t> work;
  std::vector<uint32_t> cur;
};

bool GSCheckValueKinds(GSDecodedCode& code, const GSFunction& fn, GSKindStorage& storage,
                       std::pmr::vector<GSCallSite>& calls, std::string& error);

// GSCheckStackDepth and then GSCheckValueKinds, with the same outcome, the
// same `calls` and the same error; most code is settled by one pass over
// the instructions in order instead of the two walks (which decide where
// that pass cannot, and give every refusal).
bool GSCheckDepthsAndKinds(GSDecodedCode& code, const GSFunction& fn, uint32_t maxDepth,
                           GSKindStorage& storage, std::pmr::vector<GSCallSite>& calls,
                           std::string& error);

}  // namespace GSRuntime
