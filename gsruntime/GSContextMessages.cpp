// GSContext: the script Message object, the cross-context game-object
// lookup and the "Router" natives.
#include <new>
#include <string>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSMessage.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSPayloadSoup.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"
#include "gsruntime/GSString.h"

namespace GSRuntime {

namespace {

constexpr uint32_t kHiddenClassFlag = 0x100;
constexpr uint32_t kMessageSlotMajor = 2;

GSClass* FindGsClass(GSClass*& cache, const char* name) {
  if (cache != nullptr) return cache;
  GSLibrary* library = GetGSMachine()->FindLibraryByName("gs.gsl");
  if (library != nullptr) cache = library->FindClass(name);
  return cache;
}

GSGameObject* AsGameObject(GSNode* node) {
  if (node == nullptr || (node->flags & GSNode::kGameObject) == 0) return nullptr;
  return dynamic_cast<GSGameObject*>(node);
}

// The counted instance of a game object's node, or null.
GSValue CountedInstance(GSNode* node) {
  GSGameObject* object = AsGameObject(node);
  if (object == nullptr || object->GetScriptInstance() == 0) return 0;
  const GSValue ref = object->GetScriptInstance();
  return GSScriptInstance::FromRef(ref)->count > 0 ? ref : 0;
}

const GSString* StringArg(const GSStack& stack, uint32_t index) {
  return GSString::FromRef(GSNativeArg(stack, index));
}

void PushGameObject(GSStack& stack, GSGameObject* object) {
  stack.PushObjectAs(GSContext::GetGameObjectClass(), object);
}

}  // namespace

GSClass* GSContext::GetMessageClass() {
  static GSClass* cls = nullptr;
  return FindGsClass(cls, "Message");
}

GSClass* GSContext::GetGameObjectClass() {
  static GSClass* cls = nullptr;
  return FindGsClass(cls, "GameObject");
}

GSValue GSContext::MakeMessageObject(const GSMessage& message) {
  GSClass* cls = GetMessageClass();
  if (router_ == nullptr || cls == nullptr) return 0;
  GSObject* object = new (std::nothrow) GSObject;
  if (object == nullptr) return 0;
  if (!object->AttachScriptInstance(cls, this)) {
    delete object;
    return 0;
  }
  const GSValue ref = object->GetScriptInstance();
  GSScriptInstance* instance = GSScriptInstance::FromRef(ref);
  GSValue* slots = GSBlockOf(ref);
  if (instance->slotCount < kMessageSlotMajor + 5) return ref;
  const std::string texts[2] = {router_->MajorTypeName(message.major),
                                router_->MajorTypeName(message.minor)};
  for (int i = 0; i < 2; ++i) {
    if (texts[i].empty()) continue;
    GSString* text = GSString::Create(texts[i], this);
    if (text != nullptr)
      GSStoreReference(instance, slots + kMessageSlotMajor + i, text->GetScriptInstance(), false);
  }
  GSStoreReference(instance, slots + kMessageSlotMajor + 2,
                   CountedInstance(router_->FindNode(message.source)), true);
  GSStoreReference(instance, slots + kMessageSlotMajor + 3,
                   CountedInstance(router_->FindNode(message.destination)), true);
  if (message.payload)
    GSStoreReference(instance, slots + kMessageSlotMajor + 4,
                     GSMakePayloadObject(this, *message.payload), false);
  return ref;
}

GSGameObject* GSContext::FindForeignGameObject(uint32_t id, bool includeExcluded) {
  for (GSContext* context : Live()) {
    GSRouter* router = context->Router();
    if (router == nullptr || (router->Excluded() && !includeExcluded)) continue;
    GSGameObject* object = AsGameObject(router->FindNode(id));
    const GSClass* cls = object != nullptr ? object->GetScriptClass() : nullptr;
    if (cls == nullptr) continue;
    if (!includeExcluded && (cls->flags & kHiddenClassFlag) != 0) continue;
    return object;
  }
  return nullptr;
}

void GSContext::RouterGetGameObjectById(GSStack& stack) {
  if (router_ == nullptr) return;
  GSGameObject* object = AsGameObject(router_->FindNode(GSInt(GSNativeArg(stack, 1))));
  const GSClass* cls = object != nullptr ? object->GetScriptClass() : nullptr;
  if (cls == nullptr || (cls->flags & kHiddenClassFlag) != 0) return;
  PushGameObject(stack, object);
}

void GSContext::RouterGetForeignGameObject(GSStack& stack) {
  GSGameObject* object = FindForeignGameObject(GSInt(GSNativeArg(stack, 1)), false);
  if (object != nullptr) PushGameObject(stack, object);
}

void GSContext::RouterGetGameObjectByName(GSStack& stack) {
  const GSString* name = StringArg(stack, 1);
  if (router_ == nullptr || name == nullptr) return;
  GSGameObject* object = AsGameObject(router_->FindNodeByName(name->text.c_str()));
  if (object != nullptr && object->GetScriptInstance() != 0) PushGameObject(stack, object);
}

void GSContext::RouterPostMessage(GSStack& stack) {
  const GSString* major = StringArg(stack, 3);
  const GSString* minor = StringArg(stack, 4);
  if (router_ == nullptr || major == nullptr || minor == nullptr) return;
  GSMessageRef message = GSMessage::Create();
  if (!message) return;
  message->source = static_cast<uint32_t>(GSInt(GSNativeArg(stack, 1)));
  message->destination = static_cast<uint32_t>(GSInt(GSNativeArg(stack, 2)));
  message->major = router_->InternMajorType(major->text.c_str());
  message->minor = router_->InternMajorType(minor->text.c_str());
  message->due = GSDelayMilliseconds(GetFloatArg(stack, 5)) | GSMessage::kBuiltBit;
  router_->Post(message);
}

void GSContext::RouterInfo(GSStack&) {
  if (router_ != nullptr) router_->Info();
}

}  // namespace GSRuntime
