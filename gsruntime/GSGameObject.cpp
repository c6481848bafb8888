#include "gsruntime/GSGameObject.h"

#include <cstddef>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSScriptInstance.h"

namespace GSRuntime {

GSGameObject::GSGameObject() : GSObject(KindGameObject) {
  flags |= kGameObject;
  ScheduleUpdate();
}

GSGameObject::~GSGameObject() {
  DropScriptState();
}

void GSGameObject::DropScriptState() {
  threads_.clear();
  for (const GSHandler& handler : handlers_) Unsubscribe(handler.major);
  handlers_.clear();
}

bool GSGameObject::AttachScriptInstance(GSClass* cls, GSContext* context) {
  DropScriptState();
  if (cls == nullptr) {
    GSObject::AttachScriptInstance(nullptr, nullptr);
    return false;
  }
  if (!cls->InheritsFrom("GameObject")) return false;
  return GSObject::AttachScriptInstance(cls, context);
}

GSThread* GSGameObject::StartThread() {
  if (threads_.size() >= kMaxThreads || GetScriptInstance() == 0) return nullptr;
  auto thread = std::make_unique<GSThread>(0, this);
  GSThread* started = thread.get();
  threads_.push_back(std::move(thread));
  ScheduleUpdate();
  return started;
}

void GSGameObject::DropThread(GSThread* thread) {
  threads_.remove_if([thread](const std::unique_ptr<GSThread>& t) { return t.get() == thread; });
}

bool GSGameObject::HandleMessage(const GSMessageRef& message) {
  if (Router() == nullptr || !message) return false;
  bool consumed = false;
  for (const std::unique_ptr<GSThread>& thread : threads_)
    if (thread->PostToQueue(message, true)) consumed = true;
  // The matching records are copied (a handler may change the list); a few
  // fit on the stack, in storage that is only written by the copies.
  constexpr size_t kInline = 4;
  static_assert(std::is_trivially_copyable_v<GSHandler>);
  alignas(GSHandler) std::byte inlineStorage[kInline * sizeof(GSHandler)];
  GSHandler* const inlineCopies = reinterpret_cast<GSHandler*>(inlineStorage);
  std::vector<GSHandler> moreCopies;
  size_t matched = 0;
  for (const GSHandler& handler : handlers_) {
    if (handler.major != message->major ||
        (handler.minor != GSRouter::kAnyType && handler.minor != message->minor))
      continue;
    if (matched < kInline) {
      new (inlineCopies + matched++) GSHandler(handler);
      continue;
    }
    if (moreCopies.empty()) moreCopies.assign(inlineCopies, inlineCopies + kInline);
    moreCopies.push_back(handler);
  }
  const std::span<const GSHandler> matching =
      moreCopies.empty() ? std::span<const GSHandler>(inlineCopies, matched)
                         : std::span<const GSHandler>(moreCopies);
  for (const GSHandler& handler : matching) {
    if (handler.sniffer) {
      ForwardSniffed(handler, message);
      continue;
    }
    if (Router() == nullptr) continue;
    GSGameObject* owner = FromNode(Router()->FindNode(handler.owner));
    if (owner == nullptr) continue;
    owner->RunHandler(handler, message);
    consumed = true;
  }
  if (consumed || message->major != kDestroyType) return consumed;
  flags |= kDestroyWhenReleased;
  return true;
}

void GSGameObject::RunHandler(const GSHandler& handler, const GSMessageRef& message) {
  const GSValue instance = GetScriptInstance();
  if (instance == 0 || Context() == nullptr) return;
  // The owner may have been given another class since the handler was
  // added: its instance must still have the class the function belongs to.
  GSScriptInstance* self = GSScriptInstance::FromRef(instance);
  const GSValue view = self->cls == handler.cls && handler.cls != nullptr
                           ? self->Block0()
                           : GSScriptInstance::GetClassData(self, handler.cls);
  GSMachine* machine = handler.cls->machine;
  if (view == 0 || machine == nullptr || machine->Thread() == nullptr) return;
  const GSValue object = Context()->MakeMessageObject(*message);
  GSObjectReference::AddRef(instance);  // keeps this object while its handler runs
  const GSValue args[1] = {object};
  GSRunFunction(*machine->Thread(), *handler.function, view, args, nullptr);
  GSObjectReference::Release(object);
  GSObjectReference::Release(instance);
}

void GSGameObject::ForwardSniffed(const GSHandler& sniffer, const GSMessageRef& message) {
  if (message->Sniffed() || Router() == nullptr) return;
  GSGameObject* owner = FromNode(Router()->FindNode(sniffer.owner));
  if (owner == nullptr) owner = GSContext::FindForeignGameObject(sniffer.owner, true);
  if (owner == nullptr || owner->Router() == nullptr) return;
  GSMessageRef copy = GSMessage::Create();
  if (!copy) return;
  copy->major = owner->Router()->InternMajorType(std::string_view(Router()->MajorTypeName(message->major)));
  copy->minor = owner->Router()->InternMajorType(std::string_view(Router()->MajorTypeName(message->minor)));
  copy->source = message->source;
  copy->destination = message->destination;
  copy->due = GSMessage::kBuiltBit | GSMessage::kSniffedBit;
  copy->payload = message->payload;
  owner->HandleMessage(copy);
}

void GSGameObject::Update(float elapsed) {
  GSNode::Update(elapsed);
  for (auto it = threads_.begin(); it != threads_.end();) {
    GSThread& thread = **it;
    if (thread.Execute(elapsed) == ER_Blocked) {
      ++it;
      continue;
    }
    it = threads_.erase(it);
  }
  if (!threads_.empty()) ScheduleUpdate();
}

void GSGameObject::DumpThreadStacks() {
  int number = 0;
  for (const std::unique_ptr<GSThread>& thread : threads_) {
    GSPrint("*** STACK DUMP OF THREAD %d ON GAME OBJECT %s, id %d ***", number++, Name().c_str(),
            static_cast<int>(Id()));
    thread->Stack().TraceFrames();
    GSPrint("%s", "");
  }
}

bool GSGameObject::DeferRelease() {
  if (Router() == nullptr) return false;
  flags |= kDestroyWhenReleased;
  ScheduleUpdate();
  return true;
}

}  // namespace GSRuntime
