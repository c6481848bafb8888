// The natives of the script classes "GameObject" (members of GSGameObject)
// and "Router" (members of the running context).
#include <memory>
#include <string>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSPayloadSoup.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"

namespace GSRuntime {

namespace {

const char* TextArg(const GSStack& stack, uint32_t index) {
  const GSString* string = GSString::FromRef(GSNativeArg(stack, index));
  return string != nullptr ? string->text.c_str() : nullptr;
}

// The string of argument `index`; null when it is none.
const GSString* StringArg(const GSStack& stack, uint32_t index) {
  return GSString::FromRef(GSNativeArg(stack, index));
}

// The game object behind argument `index`; `wrongType` when the slot holds
// another object.
GSGameObject* GameObjectArg(const GSStack& stack, uint32_t index, bool* wrongType) {
  const GSValue ref = GSNativeArg(stack, index);
  *wrongType = false;
  if (ref == 0) return nullptr;
  GSGameObject* object = GSGameObject::FromNative(GSScriptInstance::FromRef(ref)->native);
  *wrongType = object == nullptr;
  return object;
}

void Raise(const char* text) {
  if (GSThread* thread = CurrentThread()) thread->Exception(text, false);
}

// The payload argument `index`: null or a Soup object (copied), else the
// thread stops.
bool PayloadArg(const GSStack& stack, uint32_t index, std::shared_ptr<Soup>& payload) {
  if (GSPayloadFromArgument(GSNativeArg(stack, index), payload)) return true;
  GSNativeRefuse("incorrect parameter type at parameter %d", index);
  return false;
}

}  // namespace

void GSGameObject::Send(GSStack& stack, bool payload) {
  GSThread* thread = CurrentThread();
  if (thread != nullptr && thread->IsStatic()) {
    Raise("Static Thread cannot call SendMessage");
    return;
  }
  const GSString* major = StringArg(stack, 2);
  const GSString* minor = StringArg(stack, 3);
  if (major == nullptr || minor == nullptr) {
    Raise("GameObject::SendMessage() illegal major or minor string");
    return;
  }
  std::shared_ptr<Soup> soup;
  if (payload && !PayloadArg(stack, 4, soup)) return;
  bool wrongType = false;
  const GSGameObject* target = GameObjectArg(stack, 1, &wrongType);
  const GSMessageRef message =
      GSNode::PostMessage(std::string_view(major->text), std::string_view(minor->text),
                          target != nullptr ? target->Id() : 0, 0);
  if (!message || Router() == nullptr) return;
  message->payload = std::move(soup);
  Router()->Send(message);
}

void GSGameObject::Post(GSStack& stack, bool payload) {
  const GSString* major = StringArg(stack, 2);
  const GSString* minor = StringArg(stack, 3);
  if (major == nullptr || minor == nullptr) {
    Raise("GameObject::PostMessage() illegal major or minor string");
    return;
  }
  std::shared_ptr<Soup> soup;
  if (payload && !PayloadArg(stack, 4, soup)) return;
  bool wrongType = false;
  const GSGameObject* target = GameObjectArg(stack, 1, &wrongType);
  const uint32_t delay = GSDelayMilliseconds(GetFloatArg(stack, payload ? 5 : 4));
  GSMessageRef message =
      GSNode::PostMessage(std::string_view(major->text), std::string_view(minor->text),
                          target != nullptr ? target->Id() : 0, delay);
  if (!message || Router() == nullptr) return;
  message->payload = std::move(soup);
  Router()->Post(std::move(message));
}

void GSGameObject::ScriptSendMessage(GSStack& stack) {
  Send(stack, false);
}
void GSGameObject::ScriptSendMessagePayload(GSStack& stack) {
  Send(stack, true);
}
void GSGameObject::ScriptPostMessage(GSStack& stack) {
  Post(stack, false);
}
void GSGameObject::ScriptPostMessagePayload(GSStack& stack) {
  Post(stack, true);
}

void GSGameObject::ScriptClearMessages(GSStack& stack) {
  if (Router() != nullptr)
    Router()->ClearQueuedMessages(this, TextArg(stack, 1), TextArg(stack, 2));
}

void GSGameObject::ScriptAddHandler(GSStack& stack) {
  if (Router() == nullptr) return;
  bool wrongType = false;
  GSGameObject* target = GameObjectArg(stack, 1, &wrongType);
  if (wrongType) {
    GSPrint("target object is wrong type for GameObject::AddHandler()");
    return;
  }
  if (target == nullptr) {
    GSPrint("target object is null for GameObject::AddHandler()");
    return;
  }
  const char* majorText = TextArg(stack, 2);
  if (majorText == nullptr) {
    GSPrint("major type is null for GameObject::AddHandler()");
    return;
  }
  const uint16_t major = Router()->InternMajorType(majorText);
  const uint16_t minor = Router()->InternMajorType(TextArg(stack, 3));
  const char* name = TextArg(stack, 4);
  std::vector<GSHandler>& list = target->handlers_;
  if (name == nullptr || *name == '\0') {
    for (auto it = list.begin(); it != list.end();) {
      if (it->sniffer || it->major != major || it->minor != minor || it->owner != Id()) {
        ++it;
        continue;
      }
      it = list.erase(it);
      target->Unsubscribe(major);
    }
    return;
  }
  GSClass* cls = GetScriptClass();
  const std::string signature =
      std::string("$void@") + (cls != nullptr ? cls->name : "") + "::" + name + "(Message)";
  int32_t functionIndex = -1;
  GSClass* defining =
      cls != nullptr ? cls->FindFunction(signature, nullptr, nullptr, &functionIndex) : nullptr;
  if (defining == nullptr || functionIndex < 0) {
    GSPrint("Could not find handler %s for native GameObject::AddHandler()", signature.c_str());
    return;
  }
  const GSFunction* function = &defining->functions[static_cast<size_t>(functionIndex)];
  for (const GSHandler& handler : list)
    if (!handler.sniffer && handler.major == major && handler.minor == minor &&
        handler.owner == Id() && handler.function == function)
      return;
  list.push_back(GSHandler{Id(), defining, function, major, minor, false});
  target->Subscribe(major);
}

void GSGameObject::ScriptSniff(GSStack& stack) {
  bool wrongType = false;
  GSGameObject* target = GameObjectArg(stack, 1, &wrongType);
  if (wrongType) {
    GSPrint("target object is wrong type for GameObject::Sniff()");
    return;
  }
  if (target == nullptr) {
    GSPrint("target object is null for GameObject::Sniff()");
    return;
  }
  if (Router() == nullptr || target->Router() == nullptr) {
    GSPrint("router is null for GameObject::Sniff()");
    return;
  }
  const char* majorText = TextArg(stack, 2);
  if (majorText == nullptr) {
    GSPrint("major type is null for GameObject::Sniff()");
    return;
  }
  const uint16_t major = Router()->InternMajorType(majorText);
  const uint16_t minor = Router()->InternMajorType(TextArg(stack, 3));
  const bool add = GSNativeArg(stack, 4) != 0;
  const auto same = [&](const GSHandler& h) {
    return h.sniffer && h.major == major && h.minor == minor && h.owner == target->Id();
  };
  if (add) {
    for (const GSHandler& handler : handlers_)
      if (same(handler)) return;
    handlers_.push_back(GSHandler{target->Id(), nullptr, nullptr, major, minor, true});
    Subscribe(major);
    return;
  }
  for (auto it = handlers_.begin(); it != handlers_.end();) {
    if (!same(*it)) {
      ++it;
      continue;
    }
    it = handlers_.erase(it);
    Unsubscribe(major);
  }
}

void GSGameObject::ScriptGetId(GSStack& stack) {
  stack.Push(GSFromInt(static_cast<int32_t>(Id())));
}

void GSGameObject::ScriptGetName(GSStack& stack) {
  stack.PushString(Name().c_str());
}

void GSGameObject::ScriptSleep(GSStack& stack) {
  const float seconds = GetFloatArg(stack, 1);
  GSThread* thread = CurrentThread();
  if (!(seconds > 0.000001f) || thread == nullptr || thread->IsStatic()) return;
  thread->state = GSThread::Waiting;
  thread->timer = seconds;
}

void GSGameObject::ScriptException(GSStack& stack) {
  const char* text = TextArg(stack, 1);
  if (GSThread* thread = CurrentThread()) thread->Exception(text != nullptr ? text : "", true);
}

void RegisterGameObjectNatives(GSMachine& machine) {
  struct Entry {
    const char* signature;
    void (GSGameObject::*method)(GSStack&);
  };
  static const Entry kGameObject[] = {
      {"$void@GameObject::SendMessage(GameObject,string,string)", &GSGameObject::ScriptSendMessage},
      {"$void@GameObject::SendMessage(GameObject,string,string,GSObject)",
       &GSGameObject::ScriptSendMessagePayload},
      {"$void@GameObject::PostMessage(GameObject,string,string,float)",
       &GSGameObject::ScriptPostMessage},
      {"$void@GameObject::PostMessage(GameObject,string,string,GSObject,float)",
       &GSGameObject::ScriptPostMessagePayload},
      {"$void@GameObject::ClearMessages(string,string)", &GSGameObject::ScriptClearMessages},
      {"$void@GameObject::AddHandler(GameObject,string,string,string)",
       &GSGameObject::ScriptAddHandler},
      {"$void@GameObject::Sniff(GameObject,string,string,bool)", &GSGameObject::ScriptSniff},
      {"$void@GameObject::Sleep(float)", &GSGameObject::ScriptSleep},
      {"$int@GameObject::GetId()", &GSGameObject::ScriptGetId},
      {"$string@GameObject::GetName()", &GSGameObject::ScriptGetName},
      {"$void@GameObject::Exception(string)", &GSGameObject::ScriptException},
  };
  for (const Entry& entry : kGameObject)
    machine.RegisterNative(std::make_unique<GSCPPNativeFunction<GSGameObject>>(
        "GameObject", entry.signature, entry.method));
  struct RouterEntry {
    const char* signature;
    void (GSContext::*method)(GSStack&);
  };
  static const RouterEntry kRouter[] = {
      {"$GameObject@Router::GetGameObject(int)", &GSContext::RouterGetGameObjectById},
      {"$GameObject@Router::GetForeignGameObject(int)", &GSContext::RouterGetForeignGameObject},
      {"$GameObject@Router::GetGameObject(string)", &GSContext::RouterGetGameObjectByName},
      {"$void@Router::Info()", &GSContext::RouterInfo},
      {"$void@Router::PostMessage(int,int,string,string,float)", &GSContext::RouterPostMessage},
  };
  for (const RouterEntry& entry : kRouter)
    machine.RegisterNative(std::make_unique<GSCPPContextNativeFunction<GSContext>>(
        "Router", entry.signature, entry.method));
}

}  // namespace GSRuntime
