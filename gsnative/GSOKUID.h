// GSOKUID: the native side of the script class "KUID" (kuid.gsl), one asset
// identity whose value never changes.
//
// Every KUID object is made through Create, which keeps one object per
// (KUID, context) in a process-wide table: asking twice for the same KUID in
// one context gives the same object, so scripts may compare KUIDs by
// reference. The table owns no count; an object leaves it when it is
// destroyed (last reference gone, or its context torn down). The null KUID
// gets an object like any other value.
//
// Create(context, kuid): the object with one count for the caller (added to
// an existing object, or the first count of a new one); null when the
// "KUID" script class is not known yet (RegisterNativeLibraries) or no
// object could be made. Callers push it with GSStack::PushObject.
//
// RegisterKUIDNatives binds GetName (the name the asset-database daemon
// gives, empty without one; empty, without asking, for a KUID that requests
// cannot carry as it is, KUIDReadsBack, since no installed asset has it),
// GetHTMLString and GetLogString (tag form), GetBaseString ("<kuid:u:c>")
// and GetBaseKUID (version 0, or 127 for a negative user id; the null KUID
// when the user id does not fit in 25 bits).
//
// A KUID object and its script instance share one cell of
// KUIDObjectCells.h (the object is made with new (std::nothrow) only): the
// instance starts right after the object, which no other instance does, so
// that GetKUIDParam knows such an instance's object without a type look-up.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "foundation/text/KUID.h"
#include "gsnative/KUIDObjectCells.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"

class GSOKUID final : public KUID, public GSRuntime::GSObject {
 public:
  ~GSOKUID() override;

  // A cell of KUIDObjectCells; null when none can be had.
  static void* operator new(size_t bytes, const std::nothrow_t&) noexcept;
  static void operator delete(void* object) noexcept;
  static void operator delete(void* object, const std::nothrow_t&) noexcept;

  static GSOKUID* Create(GSRuntime::GSContext* context, const KUID& kuid);
  // Pushes Create's object for the caller (null when none was made).
  static void Push(GSRuntime::GSStack& stack, GSRuntime::GSContext* context, const KUID& kuid);
  // Live KUID objects, for tests.
  static size_t TableSize();

  void GetName(GSRuntime::GSStack& stack);
  void GetHTMLString(GSRuntime::GSStack& stack);
  void GetLogString(GSRuntime::GSStack& stack);
  void GetBaseString(GSRuntime::GSStack& stack);
  void GetBaseKUID(GSRuntime::GSStack& stack);

 private:
  explicit GSOKUID(const KUID& kuid) : KUID(kuid) {}
  // listed_ first: it fills the room after the KUID, so that the object
  // fits its part of a cell.
  bool listed_ = false;
  // The context the table lists this object under; null when unlisted.
  const GSRuntime::GSContext* listedUnder_ = nullptr;
};

// The script class "KUID", once found (NativeLibraryRegistration.h).
extern GSRuntime::GSClass* gKUIDScriptClass;

// The KUID object of argument `index` when it is an instance of the "KUID"
// class that sits right after its object in a cell (the line it reads is
// the one the interpreter has just counted the reference in); null for
// anything else, which GetKUIDParam then decides. Refuses nothing.
[[gnu::always_inline]] inline GSOKUID* KUIDParamInCell(const GSRuntime::GSStack& stack,
                                                       uint32_t index) {
  const GSRuntime::GSValue ref = GSRuntime::GSNativeArg(stack, index);
  if (ref == 0 || gKUIDScriptClass == nullptr) return nullptr;
  const GSRuntime::GSScriptInstance* instance = GSRuntime::GSScriptInstance::FromRef(ref);
  const auto native = reinterpret_cast<uintptr_t>(instance->native);
  if (instance->cls != gKUIDScriptClass ||
      native + KUIDObjectCells::kObjectBytes != reinterpret_cast<uintptr_t>(instance))
    return nullptr;
  // It sits right below a live instance: it is not null, and the cast
  // needs no test for it.
  if (native == 0) __builtin_unreachable();
  return static_cast<GSOKUID*>(instance->native);
}

// GetObjectParam for a KUID argument, with the same answers and refusals;
// KUIDParamInCell's case gives its object straight away.
[[gnu::always_inline]] inline bool GetKUIDParam(const GSRuntime::GSStack& stack, uint32_t index,
                                                GSOKUID*& out) {
  out = KUIDParamInCell(stack, index);
  if (out != nullptr) return true;
  return GSRuntime::GetObjectParam(stack, index, out, false);
}

// The base identity of a KUID as GetBaseKUID gives it.
KUID BaseKUIDOf(const KUID& kuid);

void RegisterKUIDNatives(GSMachine& machine);
