// GSRuntime::GSGameObject: a script object that is also a router node
// (reference kind 4). Script classes that derive from "GameObject" are
// made as game objects (NEW); native classes of later subsystems extend it.
//
// It owns up to kMaxThreads script threads (StartThread refuses the next
// one, and one for an object without a script instance) and a list of
// handler records: for a handler, the owner's node id and the script
// function that runs for a (major, minor) type, minor 1 matching every
// minor; for a sniffer, the id of the object that receives copies.
//
// - AttachScriptInstance drops every thread and handler first; a class
//   must be "GameObject" or derive from it.
// - HandleMessage: nothing without a router. The message is offered to
//   every thread (GSThread::PostToQueue with deliver); then the matching
//   records are copied and run in order, so handlers that change the list
//   do not change this dispatch: a handler runs at once on the machine's
//   thread with the owner and a script Message object, provided the owner
//   still is registered and of (or derived from) the class the
//   handler was found in; a sniffer gets a copy (bit 30 set) unless the
//   message is itself a sniffed copy. Consumed: taken by a thread or a
//   handler; an unconsumed destroy request (type 3) sets the destroy flag
//   and counts as consumed.
// - Update: the node's inbox, then every thread once with the elapsed
//   time; a thread that does not block any more is deleted. Threads left:
//   scheduled again.
// - DeferRelease: on a router, a release to count 0 marks the object for
//   destruction and leaves it to the router (deleted at shutdown or once
//   it has no router).
// - The natives of the script class "GameObject" (RegisterGameObjectNatives,
//   run by GSMachine::Init with the "Router" natives). SendMessage may not
//   run on a static thread (the machine's own, on which handlers run): it
//   stops the thread and sends nothing. A payload argument is null (no
//   payload) or a script Soup object, of which the message carries a copy
//   without the top-level "__" tags (GSPayloadSoup.h); any other object
//   stops the thread with "incorrect parameter type at parameter 4".
//
// Not thread-safe: the script thread owns every game object.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "gsruntime/GSNode.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSThread.h"

class GSMachine;

namespace GSRuntime {

struct GSFunction;
class GSStack;

class GSGameObject : public GSObject, public GSNode {
 public:
  static constexpr size_t kMaxThreads = 64;

  struct GSHandler {
    uint32_t owner = 0;
    GSClass* cls = nullptr;  // the class the handler function was found in
    const GSFunction* function = nullptr;
    uint16_t major = 0;
    uint16_t minor = 0;
    bool sniffer = false;
  };

  GSGameObject();
  ~GSGameObject() override;

  // The game object that a node or a native object is, or null (also for
  // null). Told by the node's kGameObject flag and the object's kind, which
  // only game objects carry: no run-time type search on the message path.
  static GSGameObject* FromNode(GSNode* node) {
    if (node == nullptr || (node->flags & kGameObject) == 0) return nullptr;
    return static_cast<GSGameObject*>(node);
  }
  static GSGameObject* FromNative(GSObjectReference* native) {
    if (native == nullptr || native->GetKind() != KindGameObject) return nullptr;
    return static_cast<GSGameObject*>(native);
  }

  bool AttachScriptInstance(GSClass* cls, GSContext* context) override;
  GSThread* StartThread();
  // Deletes one of this object's threads (one that could not be started).
  void DropThread(GSThread* thread);
  bool HandleMessage(const GSMessageRef& message) override;
  void Update(float elapsed) override;
  void DumpThreadStacks() override;
  bool DeferRelease() override;
  void DropScriptState() override;

  size_t ThreadCount() const { return threads_.size(); }
  size_t HandlerCount() const { return handlers_.size(); }

  void ScriptSendMessage(GSStack& stack);
  void ScriptSendMessagePayload(GSStack& stack);
  void ScriptPostMessage(GSStack& stack);
  void ScriptPostMessagePayload(GSStack& stack);
  void ScriptClearMessages(GSStack& stack);
  void ScriptAddHandler(GSStack& stack);
  void ScriptSniff(GSStack& stack);
  void ScriptGetId(GSStack& stack);
  void ScriptGetName(GSStack& stack);
  void ScriptSleep(GSStack& stack);
  void ScriptException(GSStack& stack);

 private:
  void RunHandler(const GSHandler& handler, const GSMessageRef& message);
  void ForwardSniffed(const GSHandler& sniffer, const GSMessageRef& message);
  void Send(GSStack& stack, bool payload);
  void Post(GSStack& stack, bool payload);

  std::vector<GSHandler> handlers_;
  std::list<std::unique_ptr<GSThread>> threads_;
};

void RegisterGameObjectNatives(GSMachine& machine);

}  // namespace GSRuntime
