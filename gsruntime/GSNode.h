// GSRuntime::GSNode: the router-facing half of a game object.
//
// A node is unregistered (Id() == kNoId, no router) until
// GSRouter::AddNode, and returns to that state through
// GSRouter::RemoveNode, its destructor or the router's Done. It keeps an
// inbox of messages (oldest first), flags (kMute: skipped by subscribed
// delivery; kGameObject: has script threads whose stacks can be dumped;
// kDestroyWhenReleased), a private copy of its registered name and a
// scheduled flag (its Update is due).
//
// Virtual operations: GetName (the name to register under; none here),
// HandleMessage (here: a destroy request, major type 3, sets the destroy
// flag and is consumed; anything else is not) and Update (takes the inbox
// messages one by one through HandleMessage, then, when elapsed > 0,
// clears the scheduled flag).
//
// ScheduleUpdate: a node without a router that carries the destroy flag
// is deleted at once (the caller must not touch it afterwards); otherwise,
// unless already scheduled, the flag is set and a registered node enters
// its router's update set. PostMessage builds a message from this node
// (types interned by its router, source = its id, bit 31 set, the delay in
// milliseconds clamped to 30 bits; a type text ends at its first NUL, as a C
// string would); an unregistered node yields null. It neither sends nor
// posts.
//
// The destructor clears the destroy flag, unregisters the node and empties
// its inbox. Not thread-safe: nodes live on the script thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <string>

#include "gsruntime/GSMessage.h"

class GSRouter;

namespace GSRuntime {

class GSNode {
 public:
  static constexpr uint32_t kNoId = 0xFFFFFFFF;
  static constexpr uint32_t kMute = 1;
  static constexpr uint32_t kGameObject = 2;
  static constexpr uint32_t kDestroyWhenReleased = 0x40000000;
  static constexpr uint16_t kDestroyType = 3;

  GSNode() = default;
  virtual ~GSNode();
  GSNode(const GSNode&) = delete;
  GSNode& operator=(const GSNode&) = delete;

  virtual const char* GetName() const { return nullptr; }
  virtual bool HandleMessage(const GSMessageRef& message);
  virtual void Update(float elapsed);
  // Prints the stacks of the node's script threads; none here.
  virtual void DumpThreadStacks() {}

  void ScheduleUpdate();
  GSMessageRef PostMessage(const char* major, const char* minor, uint32_t destination,
                           uint32_t delayMs);
  GSMessageRef PostMessage(std::string_view major, std::string_view minor, uint32_t destination,
                           uint32_t delayMs);
  bool Subscribe(uint16_t major);
  bool Unsubscribe(uint16_t major);

  uint32_t Id() const { return id_; }
  GSRouter* Router() const { return router_; }
  // The registered name; empty when the node has none.
  const std::string& Name() const { return name_; }
  uint32_t flags = 0;
  bool scheduled = false;
  std::deque<GSMessageRef> inbox;

 private:
  friend class ::GSRouter;
  // The router's subscription counts of this node for a few major types,
  // so that a thread's wait subscribes without a search; the router forgets
  // them when the node leaves it.
  struct KnownSubscription {
    uint16_t major = 0;
    uint32_t* count = nullptr;
  };
  static constexpr size_t kKnownSubscriptions = 4;

  KnownSubscription known_[kKnownSubscriptions];
  uint8_t nextKnown_ = 0;
  uint32_t id_ = kNoId;
  GSRouter* router_ = nullptr;
  std::string name_;
};

}  // namespace GSRuntime
