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
// The script instance of an object made by Create ends with two slots past
// the class's own that hold a copy of the KUID (script code cannot reach
// them), so that natives read a KUID argument from the instance alone
// (GetKUIDParam) instead of following it to this object. The instance
// grows by those 16 bytes; KUID objects are not charged to the live-byte
// meter, before or now.
//
// RegisterKUIDNatives binds GetName (the name the asset-database daemon
// gives, empty without one), GetHTMLString and GetLogString (tag form),
// GetBaseString ("<kuid:u:c>") and GetBaseKUID (version 0, or 127 for a
// negative user id; the null KUID when the user id does not fit in 25 bits).
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstdint>

#include "foundation/text/KUID.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"

class GSOKUID : public KUID, public GSRuntime::GSObject {
 public:
  ~GSOKUID() override;

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

  // The slots of the KUID's copy at the end of the instance.
  static constexpr uint32_t kCopySlots = 2;
  // Whether `instance` is the live instance of an object made by Create
  // (so it holds the copy); false for any other instance, a `new KUID`
  // of script code or one whose object is gone among them.
  static bool HoldsCopy(const GSRuntime::GSScriptInstance* instance) {
    const GSRuntime::GSClass* cls = instance->cls;
    return cls != nullptr && cls == gKUIDScriptClass && instance->native != nullptr &&
           instance->slotCount == cls->instanceSlots + kCopySlots;
  }
  // The copy in an instance for which HoldsCopy is true.
  static KUID CopyIn(GSRuntime::GSScriptInstance* instance) {
    const GSRuntime::GSValue* copy = instance->Slots() + instance->slotCount - kCopySlots;
    return KUID{static_cast<int32_t>(static_cast<uint32_t>(copy[0])),
                static_cast<int32_t>(static_cast<uint32_t>(copy[0] >> 32)),
                static_cast<int32_t>(static_cast<uint32_t>(copy[1]))};
  }

 private:
  explicit GSOKUID(const KUID& kuid) : KUID(kuid) {}
  // The context the table lists this object under; null when unlisted.
  const GSRuntime::GSContext* listedUnder_ = nullptr;
  bool listed_ = false;
};

// The KUID behind argument slot `index` of a native in `out`: what
// GetObjectParam<GSOKUID>(stack, index, object, false) finds, with the same
// refusals for a null or wrong-typed argument (false then, `out` as it
// was), read from the instance's copy when it holds one. Inline: KUID list
// natives read their argument through it.
[[gnu::always_inline]] inline bool GetKUIDParam(const GSRuntime::GSStack& stack, uint32_t index,
                                                KUID& out) {
  const GSRuntime::GSValue ref = GSRuntime::GSNativeArg(stack, index);
  if (ref != 0) {
    GSRuntime::GSScriptInstance* instance = GSRuntime::GSScriptInstance::FromRef(ref);
    if (GSOKUID::HoldsCopy(instance)) {
      out = GSOKUID::CopyIn(instance);
      return true;
    }
  }
  GSOKUID* object = nullptr;
  if (!GSRuntime::GetObjectParam(stack, index, object, false)) return false;
  out = *object;
  return true;
}

// The base identity of a KUID as GetBaseKUID gives it.
KUID BaseKUIDOf(const KUID& kuid);

void RegisterKUIDNatives(GSMachine& machine);
