#include "gsruntime/GSObjectNatives.h"

#include <memory>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"

namespace GSRuntime {

namespace {

void GetGSClassName(GSContext*, GSStack& stack) {
  const GSValue* record = stack.CurrentFrame();
  const GSValue me = record != nullptr ? *GSStack::FrameSlot0(record) : 0;
  const GSClass* cls = me != 0 ? GSScriptInstance::FromRef(me)->cls : nullptr;
  stack.PushString(cls != nullptr ? cls->name : "void");
}

}  // namespace

void RegisterGSObjectNatives(GSMachine& machine) {
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "GSObject", "$string@GSObject::GetGSClassName()", GetGSClassName));
}

}  // namespace GSRuntime
