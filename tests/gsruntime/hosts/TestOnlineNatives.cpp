#include "TestOnlineNatives.h"

#include <memory>

#include "gsnative/GSOKUID.h"
#include "gsnative/GSOOnlineAccess.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"

namespace {

using namespace GSRuntime;

void GetOnlineAccessNative(GSContext* context, GSStack& stack) {
  GSOKUID* kuid = nullptr;
  if (!GetObjectParam(stack, 1, kuid, true)) return;
  GSOOnlineAccess* online = kuid != nullptr ? GetOnlineAccess(*kuid, context) : nullptr;
  if (online == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, online);
}

void Register(GSMachine& machine) {
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "TestOnline", "$OnlineAccess@TestOnline::GetOnlineAccess(KUID)", GetOnlineAccessNative));
}

}  // namespace

void RegisterTestOnlineNatives() {
  GSAddNativeRegistrar(Register);
}
