// GSRuntime::GSClass and GSRuntime::GSFunction: a script class and its
// function records as loaded from a library (GSLibrary.h).
//
// The records point into the library's image: names, code, line tables,
// reference-slot lists, the ancestry, the slot initialisers and the
// reference fields are used in place. Everything was checked by the loader
// (GSLibrary::Load) before a class is linked, so indexes and offsets found
// here are inside their tables.
//
// GSFunction: the signature text (the name natives are bound by); the
// eight words of the record (return type, return class reference, flags,
// method index, and the frame words advance, slot0Offset, recordOffset and
// slotsNeeded of GSStack.h); the argument slots (the object included); the
// frame's reference slots; the line table {code offset, line}; the code;
// the bound native (natives only); the overridden function of an ancestor
// and that ancestor's block offset (script functions only). `calls`
// holds what the loader proved about each call instruction (GSCallSite);
// the interpreter refuses a callee whose signature kinds disagree.
//
// GSClass: name, flags (4 static, 0x100 hidden from lookups by id), index
// in its library, the ancestry {class reference, block offset p, r}, the
// function records (the class initialiser last), the member table, the
// method table {function reference, its index, block offset of the
// defining class}, the instance slot count, the slot initialisers {kind,
// slot, value} and the reference fields.
// - InheritsFrom(name): the class or one of its ancestors has that name.
// - FindFunction(name, ...): the class that defines the function of that
//   exact signature (the class itself first, then its ancestors in list
//   order) with its block offset, method index and function index; null
//   when none has it (the function index is then -1).
// - LinkFunctions(): binds natives by signature (an unregistered one prints
//   "Could not resolve native link %s" and stays unbound), finds each
//   script function's overridden function (the first ancestor function, in
//   ancestry and record order, whose name matches from "::" on), resolves
//   the method table, and checks that every method-table entry runs on the
//   block of the function's own class and that every ancestor's block fits
//   inside an instance; false on a mismatch.
// - LineForOffset(offset): the line of the last entry whose offset is not
//   above `offset` (the first entry when all are); -1 without a table.
//
// Not thread-safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory_resource>
#include <string_view>
#include <vector>

#include "gsruntime/GSNameIndex.h"
#include "gsruntime/GSValueKind.h"
#include "gsruntime/GSWordTable.h"

class GSMachine;

namespace GSRuntime {

class GSClass;
class GSInstanceMemory;
class GSLibrary;
class GSNativeFunction;
struct GSFunction;
struct GSFunctionRef;
struct GSMethodEntry;

// What the verifier proved about one call instruction, which the callee
// (known only when the call runs) must match: `leaves` is the kind the code
// after the call takes from it (kKindNone, kKindPlain, kKindReference), or
// kCallResultPassedOn when the result only goes on as an argument of later
// calls, whose callees then check it (GSStack::ResultKind). For argument
// slot i < 64 (the object is slot 0): bit i of `known` is set when the
// caller's value has a proven kind, and bit i of `refs` when that kind is a
// reference; bit i of `passedOn` when the value is such a passed-on result.
// `wide` holds the kinds of every slot when there are more than 64.
// Whether the terminated text `name` reads exactly `text`, without
// measuring `name` first (names are compared far more often than measured).
inline bool GSSameName(std::string_view text, const char* name) {
  for (size_t i = 0; i < text.size(); ++i)
    if (name[i] != text[i] || name[i] == '\0') return false;
  return name[text.size()] == '\0';
}

struct GSCallSite {
  static constexpr uint8_t kCallResultPassedOn = 4;

  uint32_t offset = 0;
  uint32_t argumentSlots = 0;
  uint8_t leaves = 0;
  uint64_t known = 0;
  uint64_t refs = 0;
  uint64_t passedOn = 0;
  std::vector<uint8_t> wide;  // per slot: GSValueKind, or kCallResultPassedOn

  // The interpreter's memory of the last method entry this site called
  // (GSInterpreter.cpp): found through method-table address `cachedTable` of
  // an instance of `cachedClass` while no library had been unloaded since
  // (`cachedUnloads`, GSLibrary::UnloadCount), its callee fitting the site.
  // The entry's function and block offset are kept here rather than the
  // entry, one load fewer on every call, and `cachedEnters` says whether
  // the function runs byte code (neither native nor without code).
  // Only sites whose fit depends on nothing but the callee keep one.
  mutable const GSClass* cachedClass = nullptr;
  mutable uintptr_t cachedTable = 0;
  mutable const GSFunction* cachedFunction = nullptr;
  mutable uint64_t cachedUnloads = 0;
  mutable uint32_t cachedOffset = 0;
  mutable bool cachedEnters = false;

  // Whether the site's fit depends on nothing but the callee.
  bool FitsByCallee() const {
    return leaves != kCallResultPassedOn && wide.empty() && passedOn == 0;
  }
};

struct GSFunction {
  static constexpr uint32_t kNativeFlag = 2;
  static constexpr uint32_t kThreadFlag = 0x10;

  GSFunction() = default;
  // A record whose kinds and call sites take their memory from `store`
  // (its library's, which outlives it) instead of one allocation each; a
  // copy takes its own from the heap.
  explicit GSFunction(std::pmr::memory_resource* store) : paramKinds(store), calls(store) {}

  GSClass* cls = nullptr;
  GSLibrary* library = nullptr;
  const char* name = "";
  uint32_t returnType = 0;
  uint32_t returnClass = 0;
  uint32_t flags = 0;
  int32_t methodIndex = -1;
  uint32_t advance = 0;
  uint32_t slot0Offset = 0;
  uint32_t recordOffset = 0;
  uint32_t slotsNeeded = 0;
  uint32_t params = 0;
  GSWordTable referenceSlots;
  GSWordTable lines;  // width 2
  const uint8_t* code = nullptr;
  uint32_t codeSize = 0;
  GSNativeFunction* native = nullptr;
  const GSFunction* overridden = nullptr;
  uint32_t overriddenOffset = 0;
  // The kinds of the signature (GSValueKind.h): the result, and per
  // argument slot (the object first); paramRefs has bit i set when slot
  // i < 64 takes a reference.
  uint8_t returnKind = kKindNone;
  std::pmr::vector<uint8_t> paramKinds;
  uint64_t paramRefs = 0;
  // The reference slots as a mask (bit i: slot i), set by the loader when
  // every one lies below 64 and they are listed in ascending order, so
  // that releasing from the highest bit down keeps the order of
  // referenceSlots (last listed first); releaseByMask is false otherwise
  // and the frame is released through the table.
  uint64_t releaseMask = 0;
  bool releaseByMask = false;
  std::pmr::vector<GSCallSite> calls;  // every reachable call, by ascending offset

  bool ReturnsValue() const { return returnType != 0; }
  bool IsNative() const { return (flags & kNativeFlag) != 0; }
  bool IsThread() const { return (flags & kThreadFlag) != 0; }
  int32_t LineForOffset(uint32_t offset) const;
  // The call site at `offset`, or null.
  const GSCallSite* CallAt(uint32_t offset) const {
    if (calls.size() <= 8) {  // most functions make few calls
      for (const GSCallSite& site : calls)
        if (site.offset == offset) return &site;
      return nullptr;
    }
    const auto it = std::lower_bound(
        calls.begin(), calls.end(), offset,
        [](const GSCallSite& site, uint32_t value) { return site.offset < value; });
    return it != calls.end() && it->offset == offset ? &*it : nullptr;
  }
  bool CallLeavesValue(uint32_t offset) const {
    const GSCallSite* site = CallAt(offset);
    return site != nullptr && site->leaves != kKindNone;
  }
};

struct GSMethodEntry {
  const GSFunctionRef* ref = nullptr;    // resolved at link time
  const GSFunction* function = nullptr;  // ref's function, kept for calls
  uint32_t refIndex = 0;
  uint32_t offset = 0;
};

class GSClass {
 public:
  static constexpr uint32_t kHiddenFlag = 0x100;

  GSMachine* machine = nullptr;
  GSLibrary* library = nullptr;
  const char* name = "";
  uint32_t flags = 0;
  uint32_t index = 0;
  GSWordTable ancestry;  // width 3
  std::vector<GSFunction> functions;
  GSWordTable members;  // width 5
  std::vector<GSMethodEntry> methods;
  uint32_t instanceSlots = 0;
  GSWordTable initialisers;  // width 3
  GSWordTable referenceSlots;
  // The functions by name, built on the first lookup in a large class.
  GSNameIndex byName;
  // Per instance slot, from link time on: what it holds (kSlotPlain,
  // kSlotReference, kSlotHeader), by the reference fields of the class and
  // of every ancestor block. Built whole or not at all, by the class's own
  // link or by that of a derived class, whichever comes first.
  std::vector<uint8_t> slotKinds;
  // Per instance slot: how the code of the class's own functions uses it as
  // a member of `me` (bits kUsedPlain and kUsedAsReference), noted while the
  // code is checked at load (GSCodeVerifier.h) and held to slotKinds at
  // link time. Empty: no such member.
  std::vector<uint8_t> membersOfMe;
  // Where the class's instances are placed; null: calloc (GSInstanceMemory.h).
  // Last, so that the fields the interpreter reads keep their places.
  GSInstanceMemory* instanceMemory = nullptr;
  // The functions by their name from "::" on, built when a derived class
  // of a large class first looks for what its functions override.
  GSNameIndex byMethod;

  static constexpr uint8_t kUsedPlain = 1;
  static constexpr uint8_t kUsedAsReference = 2;

  static constexpr uint8_t kSlotPlain = 0;
  static constexpr uint8_t kSlotReference = 1;
  static constexpr uint8_t kSlotHeader = 2;

  // The slots that the class's own code may reach through `me`: an
  // instance ends with kSpareSlots slots past its last field (as our
  // compiler lays it out), which inside a derived instance belong to the
  // derived class; an instance too small for that reaches its header only.
  static constexpr uint32_t kSpareSlots = 3;
  uint32_t BlockSlots() const {
    return instanceSlots >= kSpareSlots + 2 ? instanceSlots - kSpareSlots : 2;
  }

  uint32_t AncestorCount() const { return ancestry.count; }
  // The class of ancestry entry i; null until the library is linked.
  GSClass* Ancestor(uint32_t i) const;
  uint32_t AncestorOffset(uint32_t i) const { return ancestry.At(i, 1); }
  const GSFunction& Initialiser() const { return functions.back(); }

  // The first own function record named exactly `signature`, or null.
  const GSFunction* FindOwnFunction(std::string_view signature);
  // The first own function record whose name reads `method` from its "::"
  // on (a name without "::" reads ""), or null.
  const GSFunction* FindOwnMethod(std::string_view method);
  bool InheritsFrom(std::string_view className) const;
  GSClass* FindFunction(std::string_view signature, uint32_t* offset, uint32_t* methodIndex,
                        int32_t* functionIndex);
  bool LinkFunctions();
};

}  // namespace GSRuntime
