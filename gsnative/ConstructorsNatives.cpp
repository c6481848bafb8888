#include "gsnative/ConstructorsNatives.h"

#include <memory>

#include "gsnative/GSOImage.h"
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

void NewImage(GSContext* context, GSStack& stack) {
  GSOImage::Push(stack, context);
}

}  // namespace

void RegisterConstructorsNatives(GSMachine& machine) {
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "ConstructorsBase", "$Soup@ConstructorsBase::NewSoup()", NewSoup));
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "ConstructorsBase", "$KUIDList@ConstructorsBase::NewKUIDList()", NewKUIDList));
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "ConstructorsBase", "$Image@ConstructorsBase::NewImage()", NewImage));
}
