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
// gives, empty without one), GetHTMLString and GetLogString (tag form),
// GetBaseString ("<kuid:u:c>") and GetBaseKUID (version 0, or 127 for a
// negative user id; the null KUID when the user id does not fit in 25 bits).
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include "foundation/text/KUID.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
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

 private:
  explicit GSOKUID(const KUID& kuid) : KUID(kuid) {}
  // The context the table lists this object under; null when unlisted.
  const GSRuntime::GSContext* listedUnder_ = nullptr;
  bool listed_ = false;
};

// The base identity of a KUID as GetBaseKUID gives it.
KUID BaseKUIDOf(const KUID& kuid);

void RegisterKUIDNatives(GSMachine& machine);
