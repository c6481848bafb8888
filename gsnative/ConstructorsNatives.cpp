#include "gsnative/ConstructorsNatives.h"

#include <memory>

#include "gsnative/GSOKUIDList.h"
#include "gsnative/GSOSoup.h"
#include "gsruntime/GSNativeFunction.h"

namespace {

using namespace GSRuntime;

void NewSoup(GSContext* context, GSStack& stack) {
  GSOSoup::Push(stack, context, Soup(), false);
}

void NewKUIDList(GSContext* context, GSStack& stack) {
  GSOKUIDList* list = GSOKUIDList::Create(context);
  if (list == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, list);
}

}  // namespace

void RegisterConstructorsNatives(GSMachine& machine) {
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "ConstructorsBase", "$Soup@ConstructorsBase::NewSoup()", NewSoup));
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "ConstructorsBase", "$KUIDList@ConstructorsBase::NewKUIDList()", NewKUIDList));
}
