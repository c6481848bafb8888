// GSContext: the script Message object, the cross-context game-object
// lookup and the "Router" natives.
#include <iterator>
#include <new>
#include <span>
#include <string>
#include <utility>

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
constexpr uint32_t kMessageSlots = kMessageSlotMajor + 5;

// A script Message object: when nothing holds it any more its context
// keeps it for the next message instead of freeing it.
class GSMessageObject final : public GSObject {
 public:
  bool DeferRelease() override {
    return Context() != nullptr && Context()->KeepSpareMessage(this, types);
  }

  uint32_t types = 0;  // of the message it was last made for
};

uint32_t TypesOf(const GSMessage& message) {
  return static_cast<uint32_t>(message.major) << 16 | message.minor;
}

GSClass* FindGsClass(GSClass*& cache, const char* name) {
  if (cache != nullptr) return cache;
  GSLibrary* library = GetGSMachine()->FindLibraryByName("gs.gsl");
  if (library != nullptr) cache = library->FindClass(name);
  return cache;
}

GSGameObject* AsGameObject(GSNode* node) {
  return GSGameObject::FromNode(node);
}

// The counted instance of a game object, or null.
GSValue CountedInstance(const GSGameObject* object) {
  const GSValue ref = object != nullptr ? object->GSObject::GetScriptInstance() : 0;
  return ref != 0 && GSScriptInstance::FromRef(ref)->count > 0 ? ref : 0;
}

// The string `value` designates when nothing but the slot it was read from
// holds it (count 1); else null.
GSString* SoleString(GSValue value) {
  if (value == 0 || GSScriptInstance::FromRef(value)->count != 1) return nullptr;
  return GSString::FromRef(value);
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

bool GSContext::KeepSpareMessage(GSObject* object, uint32_t types) {
  if (pool_.BeingDestroyed() || spareMessages_.size() >= kSpareMessages) return false;
  const GSValue ref = object->GSObject::GetScriptInstance();
  if (ref == 0) return false;
  GSScriptInstance* instance = GSScriptInstance::FromRef(ref);
  if (instance->cls != GetMessageClass() || instance->slotCount < kMessageSlots) return false;
  try {
    spareMessages_.push_back(SpareMessage{object, types});
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Pinned while its fields go, so that nothing they release reaches it.
  // The type texts stay when only their fields hold them.
  GSValue* fields = GSBlockOf(ref) + kMessageSlotMajor;
  const auto drop = [](GSValue& field) {
    if (field != 0) GSObjectReference::Release(std::exchange(field, 0));
  };
  ++instance->count;
  for (GSValue& text : std::span(fields, 2))
    if (text != 0 && GSScriptInstance::FromRef(text)->count != 1) drop(text);
  for (GSValue& other : std::span(fields + 2, kMessageSlots - kMessageSlotMajor - 2)) drop(other);
  --instance->count;
  return true;
}

void GSContext::StoreTypeText(GSScriptInstance* instance, GSValue* slot, uint16_t oldType,
                              uint16_t type, const std::string& text) {
  if (text.empty()) {
    GSStoreReference(instance, slot, 0, false);
    return;
  }
  // A text that only the field holds: if it still reads the type it stays.
  GSString* own = SoleString(*slot);
  if (own != nullptr && GSRouter::SameTypeText(own->text, text)) return;
  // The field's text waits for its type when it is a string of this
  // context: the spare texts are strings of this context that nothing else
  // holds.
  const bool parks =
      own != nullptr && TrackedObjectPool::ContextOf(GSScriptInstance::FromRef(*slot)) == this;
  GSValue found = 0;
  for (SpareText& spare : spareTexts_) {
    if (spare.type != type || spare.text == 0) continue;
    const GSString* kept = GSString::FromRef(spare.text);
    if (kept == nullptr || !GSRouter::SameTypeText(kept->text, text)) continue;
    found = spare.text;
    // The field's text takes the place of the one it is swapped for.
    spare = parks ? SpareText{oldType, std::exchange(*slot, found)} : SpareText{};
    if (parks) return;
    break;
  }
  if (parks) {
    SpareText& spare = spareTexts_[nextSpareText_++ % std::size(spareTexts_)];
    GSObjectReference::Release(spare.text);
    spare = SpareText{oldType, std::exchange(*slot, 0)};
  }
  if (found == 0) {
    GSString* made = GSString::Create(text, this);
    found = made != nullptr ? made->GetScriptInstance() : 0;
    if (found == 0 || pool_.BeingDestroyed()) {
      GSStoreReference(instance, slot, found, false);
      return;
    }
  }
  const GSValue old = std::exchange(*slot, found);
  if (old != 0) GSObjectReference::Release(old);
}

void GSContext::StoreGameObject(GSScriptInstance* instance, GSValue* slot, GSNode* node) {
  const GSGameObject* object = AsGameObject(node);
  const GSValue ref = CountedInstance(object);
  // While the pool stands, the Message object and a game object of this
  // context are both registered in it: the store rule allows the store
  // without looking their contexts up.
  if (ref == 0 || object->Context() != this || pool_.BeingDestroyed()) {
    GSStoreReference(instance, slot, ref, true);
    return;
  }
  ++GSScriptInstance::FromRef(ref)->count;
  const GSValue old = std::exchange(*slot, ref);
  if (old != 0) GSObjectReference::Release(old);
}

GSValue GSContext::MakeMessageObject(const GSMessage& message) {
  GSClass* cls = GetMessageClass();
  if (router_ == nullptr || cls == nullptr) return 0;
  GSMessageObject* object = nullptr;
  if (!spareMessages_.empty()) {
    // The latest kept for the same types, else the latest.
    auto spare = spareMessages_.end() - 1;
    for (auto it = spareMessages_.rbegin(); it != spareMessages_.rend(); ++it) {
      if (it->types != TypesOf(message)) continue;
      spare = std::prev(it.base());
      break;
    }
    object = static_cast<GSMessageObject*>(spare->object);
    spareMessages_.erase(spare);
    GSScriptInstance::FromRef(object->GetScriptInstance())->count = 1;
  } else {
    object = new (std::nothrow) GSMessageObject;
    if (object == nullptr) return 0;
    if (!object->AttachScriptInstance(cls, this)) {
      delete object;
      return 0;
    }
  }
  const uint32_t oldTypes = object->types;
  object->types = TypesOf(message);
  const GSValue ref = object->GetScriptInstance();
  GSScriptInstance* instance = GSScriptInstance::FromRef(ref);
  GSValue* slots = GSBlockOf(ref);
  if (instance->slotCount < kMessageSlots) return ref;
  StoreTypeText(instance, slots + kMessageSlotMajor, static_cast<uint16_t>(oldTypes >> 16),
                message.major, router_->MajorTypeName(message.major));
  StoreTypeText(instance, slots + kMessageSlotMajor + 1, static_cast<uint16_t>(oldTypes),
                message.minor, router_->MajorTypeName(message.minor));
  StoreGameObject(instance, slots + kMessageSlotMajor + 2, router_->FindNode(message.source));
  StoreGameObject(instance, slots + kMessageSlotMajor + 3,
                  router_->FindNode(message.destination));
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
  message->major = router_->InternMajorType(std::string_view(major->text));
  message->minor = router_->InternMajorType(std::string_view(minor->text));
  message->due = GSDelayMilliseconds(GetFloatArg(stack, 5)) | GSMessage::kBuiltBit;
  router_->Post(std::move(message));
}

void GSContext::RouterInfo(GSStack&) {
  if (router_ != nullptr) router_->Info();
}

}  // namespace GSRuntime
