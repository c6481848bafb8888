// Calls and the frames they make: method lookup, the checks a callee must
// pass and object creation for the interpreter.
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"

namespace GSRuntime {

GSResult GSNativeOutcome(const GSThread& thread, uint64_t refusals) {
  if (thread.state == GSThread::Stopped) return ER_Exception;
  if (GSRefusalCount() != refusals) return GSLastRefusal();
  if (gsRunBudgetUsed > kGSRunBudget) return ER_Timeout;
  if (thread.state == GSThread::Waiting) return ER_Blocked;
  return ER_Done;
}

bool GSWideCallFits(const GSCallSite& site, const GSFunction& callee, const GSValue* args,
                    const GSStack& stack) {
  for (uint32_t i = 0; i < site.argumentSlots; ++i) {
    uint8_t kind = kKindNone;
    if (!site.wide.empty()) {
      kind = site.wide[i];
    } else if (i < 64) {
      const uint64_t bit = uint64_t{1} << i;
      if ((site.known & bit) != 0) kind = (site.refs & bit) != 0 ? kKindReference : kKindPlain;
      if ((site.passedOn & bit) != 0) kind = GSCallSite::kCallResultPassedOn;
    }
    // A passed-on result has the kind its own callee returned; 0 (a value
    // that joined it on another path) fits either kind.
    if (kind == GSCallSite::kCallResultPassedOn) {
      if (args[i] != 0 && stack.ResultKind(args + i) != callee.paramKinds[i]) return false;
      continue;
    }
    if (kind != kKindNone && kind != callee.paramKinds[i]) return false;
  }
  return true;
}

GSValue GSNewObject(GSClass* cls) {
  if (cls == nullptr) return 0;
  GSContext* context = CurrentContext();
  if (!cls->InheritsFrom("GameObject")) {
    GSObject* object = new (std::nothrow) GSObject;
    if (object == nullptr) return 0;
    if (!object->AttachScriptInstance(cls, context)) {
      delete object;
      return 0;
    }
    return object->GetScriptInstance();
  }
  GSGameObject* object = new (std::nothrow) GSGameObject;
  if (object == nullptr) return 0;
  if (!object->AttachScriptInstance(cls, context)) {
    delete object;
    return 0;
  }
  if (context != nullptr && context->Router() != nullptr) context->Router()->AddNode(object);
  return object->GetScriptInstance();
}

GSResult GSStartThread(const GSFunction& callee, GSValue view, const GSValue* args,
                       uint32_t argumentCount) {
  GSObjectReference* native = GSScriptInstance::FromRef(view)->native;
  GSGameObject* object = GSGameObject::FromNative(native);
  if (object == nullptr || object->Router() == nullptr || callee.IsNative()) return ER_ThreadError;
  if (callee.codeSize == 0) return ER_IllegalInstruction;
  GSThread* started = object->StartThread();
  if (started == nullptr) return ER_ThreadError;
  GSStack& stack = started->Stack();
  bool pushed = stack.Push(view);
  for (uint32_t i = 0; pushed && i < argumentCount; ++i) pushed = stack.Push(args[i]);
  if (pushed && stack.PushFrame(callee, 0)) return ER_Done;
  // No room on a fresh stack: the counts stay with the caller's slots (an
  // operand stack's values are not released when the thread goes).
  object->DropThread(started);
  return ER_StackOverflow;
}

namespace {

// The wait entries of the WAIT at `operands` (`count` pairs of string
// indexes, then as many targets), interned by `router`. False when a type
// was refused (the meter may admit it later, so such entries are not kept).
bool InternWaitEntries(GSRouter& router, const std::vector<std::string_view>& strings,
                       const uint8_t* operands, uint32_t count,
                       std::vector<GSThread::Block>& entries) {
  entries.clear();
  bool interned = true;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* pair = operands + 4 * i;
    const uint32_t majorIndex = pair[0] | (pair[1] << 8);
    const uint32_t minorIndex = pair[2] | (pair[3] << 8);
    const uint8_t* target = operands + 4 * count + 4 * i;
    GSThread::Block entry;
    entry.major = router.InternMajorType(strings[majorIndex]);
    entry.minor = router.InternMajorType(strings[minorIndex]);
    entry.target = static_cast<uint32_t>(target[0]) | (static_cast<uint32_t>(target[1]) << 8) |
                   (static_cast<uint32_t>(target[2]) << 16) |
                   (static_cast<uint32_t>(target[3]) << 24);
    entries.push_back(entry);
    interned = interned && entry.major != GSRouter::kRefusedType &&
               entry.minor != GSRouter::kRefusedType;
  }
  return interned;
}

}  // namespace

GSResult GSWait(GSThread& thread, const GSFunction& fn, const uint8_t* operands, uint32_t count) {
  GSGameObject* owner = thread.owner;
  if (owner == nullptr || thread.IsStatic() || owner->Router() == nullptr) return ER_ThreadError;
  GSRouter* router = owner->Router();
  thread.DropWait();
  GSThread::WaitSite& site = thread.lastWait;
  const uint64_t unloads = GSLibrary::UnloadCount();
  if (site.operands != operands || site.router != router ||
      site.typeEpoch != router->TypeEpoch() || site.unloads != unloads) {
    const bool keep =
        InternWaitEntries(*router, fn.library->Strings(), operands, count, site.entries);
    site.operands = keep ? operands : nullptr;
    site.router = router;
    site.typeEpoch = router->TypeEpoch();
    site.unloads = unloads;
  }
  for (const GSThread::Block& entry : site.entries) {
    thread.waitList.push_back(entry);
    owner->Subscribe(entry.major);
  }
  thread.state = GSThread::Waiting;
  thread.OfferQueuedMessages();
  return ER_Blocked;
}

}  // namespace GSRuntime
