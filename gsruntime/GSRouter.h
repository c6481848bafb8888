// GSRouter: delivers messages between the nodes of one script context.
//
// A context owns at most one router (GSContext::InstallRouter); the runtime
// itself never makes one: a host does (the test host gsrun, for one). A
// router registers nodes under ids from one process-wide counter (from 1,
// never reused: registration is refused once the counter is spent), keeps
// the node-name table (a duplicate name leaves the later node nameless),
// interns type texts into 16-bit numbers (a text ends at its first NUL
// character; empty or null: 1, never stored; interned types from 101 on;
// once 65,535 is handed out a new text is refused with 0, so the counter
// never wraps into the system types below 100; so is a text whose bytes the
// live-byte meter of the router's context does not admit,
// gsruntime/GSAllocationMeter.h), counts per-node
// subscriptions per major type, and delivers:
//
// - Send(message): now. Major 0 (a refused type) is dropped. A type below
//   100 goes to every node (destination 0, in id order) or to the
//   destination; any other type only to subscribers whose mute flag is
//   clear (in id order, for a broadcast). A message for an unknown id is
//   dropped. Delivery calls the node's HandleMessage; nodes removed while a
//   message is being delivered are skipped.
// - Post(message): queues a copy (the caller's handle is never stored);
//   nothing while the router is disabled. Post of a handle given up
//   (an rvalue) that holds the message's only count queues the message
//   itself, as no one else can see it. Due time 0: the posted queue
//   (first in first out); otherwise the delay queue at clock + delay. Due
//   times are kept as 64-bit milliseconds, so the wrap of the 30-bit due
//   word (after about 12.4 days) never disorders the queue; equal due
//   times leave in the order they were posted. The message's due word
//   keeps the 30-bit form.
// - ClearQueuedMessages(node, major, minor): drops the delayed messages for
//   the node with that major and minor (an empty minor: every minor),
//   printing "%d queued router messages cleared for %04d '%s', message %s,
//   %s" when any were dropped. The posted queue is not searched.
// - Info(): the five counter lines. TraceMessage appends one line.
// - Done(): shutdown, run by the owning context's destructor: prints
//   "GSRouter::Done(), %d outstanding node(s)" when nodes remain, empties
//   every table and queue, unregisters each node in id order and deletes
//   those that carry the destroy flag, and disables the router. It can be
//   used again afterwards.
//
// The pass that moves time on belongs to the host: AdvanceClock,
// TakePosted (the posted queue, emptied), TakeDue (the delayed messages due
// by now, in due order, removed) and TakeScheduled (the ids of the nodes
// whose Update is due, in id order, taken out of the update set) are its
// steps; an id is looked up again before its node is updated. The forms
// that take a vector replace its contents and reuse its storage, so a host
// that keeps its vectors from one tick to the next allocates nothing.
//
// Messages print through GSPrintHook. Not thread-safe: the script thread
// owns the router, its nodes and their messages.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSMessage.h"
#include "gsruntime/GSNode.h"
#include "gsruntime/GSSameText.h"

class GSRouter {
 public:
  static constexpr uint16_t kAnyType = 1;
  static constexpr uint16_t kFirstType = 101;
  static constexpr uint16_t kSystemTypeLimit = 100;
  static constexpr uint16_t kRefusedType = 0;

  GSRouter() = default;
  ~GSRouter();
  GSRouter(const GSRouter&) = delete;
  GSRouter& operator=(const GSRouter&) = delete;

  bool AddNode(GSRuntime::GSNode* node);
  bool RemoveNode(GSRuntime::GSNode* node);
  GSRuntime::GSNode* FindNode(uint32_t id) const {
    const KnownNode& known = knownNodes_[id % kKnownNodes];
    return known.id == id ? known.node : FindNodeInTable(id);
  }
  GSRuntime::GSNode* FindNodeByName(const char* name) const;

  // Whether two type texts are equal.
  static bool SameTypeText(std::string_view a, std::string_view b) {
    return GSRuntime::GSSameText(a, b);
  }

  uint16_t InternMajorType(const char* text);
  uint16_t InternMajorType(std::string_view text);
  // The text of an interned type; empty for any other number.
  const std::string& MajorTypeName(uint16_t type) const {
    if (type < kFirstType || type > typeCounter_) return kNoTypeName;
    return typeTexts_[type - kFirstType];
  }
  // Names the router's current table of types: it changes when the table
  // is emptied (Done) and differs between routers, so while it reads the
  // same, every text interned before still has the type it was given.
  uint64_t TypeEpoch() const { return typeEpoch_; }
  // Charges the interned texts to the meter of `context` (the process-wide
  // one without it); called before anything is interned.
  void MeterUnder(GSRuntime::GSContext* context) { context_ = context; }

  bool Subscribe(GSRuntime::GSNode* node, uint16_t major);
  bool Unsubscribe(GSRuntime::GSNode* node, uint16_t major);

  void Send(const GSRuntime::GSMessageRef& message);
  void Post(const GSRuntime::GSMessageRef& message);
  void Post(GSRuntime::GSMessageRef&& message);
  void ClearQueuedMessages(GSRuntime::GSNode* node, const char* major, const char* minor);
  void Info() const;
  void TraceMessage(const GSRuntime::GSMessage& message, std::string& out) const;
  void DumpAllThreadStacks() const;
  bool Done();

  // Enters a scheduled, registered node in the update set.
  void Schedule(GSRuntime::GSNode* node);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Excluded() const { return excluded_; }
  uint64_t Clock() const { return clock_; }
  void AdvanceClock(uint64_t ms) { clock_ += ms; }
  std::vector<GSRuntime::GSMessageRef> TakePosted();
  std::vector<GSRuntime::GSMessageRef> TakeDue();
  std::vector<uint32_t> TakeScheduled();
  void TakePosted(std::vector<GSRuntime::GSMessageRef>& into);
  void TakeDue(std::vector<GSRuntime::GSMessageRef>& into);
  void TakeScheduled(std::vector<uint32_t>& into);
  bool HasWork() const { return !posted_.empty() || !delayed_.empty() || !scheduled_.empty(); }

  size_t NodeCount() const { return nodes_.size(); }
  size_t DelayedCount() const { return delayed_.size(); }
  size_t PostedCount() const { return posted_.size(); }
  uint16_t LastType() const { return typeCounter_; }

  // The next id the process-wide counter hands out (tests).
  static uint32_t NextNodeId();
  static void SetNextNodeId(uint32_t id);

 private:
  // A count of 0 is a dormant entry: the node subscribed and unsubscribed
  // again (a thread's wait does so every time); it receives nothing and
  // goes with the node, so that waiting allocates nothing.
  struct Subscription {
    uint32_t count = 0;
    GSRuntime::GSNode* node = nullptr;
  };
  using SubscriberTree = std::map<uint32_t, Subscription>;  // by node id
  // An entry of the open-addressing table of type texts: the text's first
  // eight bytes (little-endian, zero-padded), its hash and its type (0:
  // free).
  struct TypeSlot {
    uint64_t head = 0;
    uint32_t hash = 0;
    uint16_t type = 0;
  };
  struct Delayed {
    uint64_t due;
    uint64_t order;
    GSRuntime::GSMessageRef message;
  };
  // The nodes found last, by id modulo kKnownNodes, so that the few nodes a
  // message goes between are found without a search; an entry goes when
  // its node leaves the table.
  struct KnownNode {
    uint32_t id = GSRuntime::GSNode::kNoId;
    GSRuntime::GSNode* node = nullptr;
  };
  static constexpr size_t kKnownNodes = 8;

  static bool Later(const Delayed& a, const Delayed& b);
  GSRuntime::GSNode* FindNodeInTable(uint32_t id) const;
  void ForgetNode(uint32_t id) {
    KnownNode& known = knownNodes_[id % kKnownNodes];
    if (known.id == id) known = KnownNode{};
  }
  static const std::string kNoTypeName;

  void Deliver(GSRuntime::GSNode* node, const GSRuntime::GSMessageRef& message);
  void Queue(GSRuntime::GSMessageRef&& message);
  void Unschedule(uint32_t id);
  static uint64_t NewTypeEpoch();
  bool Subscribed(uint16_t major, GSRuntime::GSNode* node) const;
  // The node's subscription count for `major` when it is known (see
  // GSNode::KnownSubscription), else null; Remember notes one, Forget
  // drops them all.
  static uint32_t* KnownCount(const GSRuntime::GSNode* node, uint16_t major);
  static void Remember(GSRuntime::GSNode* node, uint16_t major, uint32_t* count);
  static void Forget(GSRuntime::GSNode* node);
  SubscriberTree* TreeOf(uint16_t major) const;
  void GrowTypeSlots();
  // Interns a text that is not in the table yet; `i` is the free slot its
  // search ended on.
  [[gnu::noinline]] uint16_t AddType(std::string_view text, uint64_t head, uint32_t hash,
                                     size_t i);
  const char* NameOf(uint32_t id) const;

  std::unordered_map<std::string, uint32_t> nodeNames_;
  std::vector<TypeSlot> typeSlots_;     // a power of two, at most half used
  std::vector<std::string> typeTexts_;  // type kFirstType + i at i
  std::map<uint32_t, GSRuntime::GSNode*> nodes_;  // by id: registration order
  mutable KnownNode knownNodes_[kKnownNodes];
  std::vector<std::unique_ptr<SubscriberTree>> subscriptions_;  // by major type
  size_t treeCount_ = 0;
  std::vector<GSRuntime::GSMessageRef> posted_;  // in posting order
  std::vector<Delayed> delayed_;  // a min-heap on (due, order)
  uint64_t delayOrder_ = 0;
  std::vector<uint32_t> scheduled_;  // the update set: ids, ascending, no repeats
  uint16_t typeCounter_ = 100;
  uint64_t typeEpoch_ = NewTypeEpoch();
  GSRuntime::GSContext* context_ = nullptr;
  GSRuntime::GSNativeCharge typeCharge_;
  uint64_t clock_ = 0;
  bool enabled_ = true;
  bool excluded_ = false;
};
