#include "gsruntime/GSRouter.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstring>

#include "gsruntime/GSPrintHook.h"

using GSRuntime::GSMessage;
using GSRuntime::GSMessageRef;
using GSRuntime::GSNode;

namespace {

uint32_t nextNodeId = 1;  // process-wide; ids are never handed out twice
uint64_t lastTypeEpoch = 0;  // process-wide; epochs are never handed out twice

// Type texts are short words: the hash mixes the first eight bytes and the
// length with one multiplication, and goes on over the rest as FNV-1a does.
constexpr uint64_t kHashMultiplier = 0x9E3779B97F4A7C15u;
constexpr uint32_t kHashPrime = 16777619u;

static_assert(std::endian::native == std::endian::little, "type heads are read as little-endian words");

// The first min(length, 8) bytes of `text` as a little-endian word, the
// other bytes 0: two overlapping loads, without a loop over the bytes.
[[gnu::always_inline]] inline uint64_t HeadWord(const char* text, size_t length) {
  if (length >= 8) {
    uint64_t word;
    std::memcpy(&word, text, sizeof word);
    return word;
  }
  if (length >= 4) {
    uint32_t low;
    uint32_t high;
    std::memcpy(&low, text, sizeof low);
    std::memcpy(&high, text + length - 4, sizeof high);
    return uint64_t{low} | uint64_t{high} << (8 * (length - 4));
  }
  if (length == 0) return 0;
  const auto byte = [text](size_t i) { return uint64_t{static_cast<unsigned char>(text[i])}; };
  return byte(0) | byte(length / 2) << (8 * (length / 2)) | byte(length - 1) << (8 * (length - 1));
}

// Whether `text` holds a NUL byte.
bool HasNul(std::string_view text) {
  return std::memchr(text.data(), 0, text.size()) != nullptr;
}

// `text` up to its first NUL byte.
[[gnu::noinline]] std::string_view UpToNul(std::string_view text) {
  const void* nul = std::memchr(text.data(), 0, text.size());
  return nul == nullptr ? text : text.substr(0, static_cast<const char*>(nul) - text.data());
}

// Whether any byte of `word` is 0.
bool HasZeroByte(uint64_t word) {
  constexpr uint64_t kLow = 0x0101010101010101u;
  constexpr uint64_t kHigh = 0x8080808080808080u;
  return ((word - kLow) & ~word & kHigh) != 0;
}

}  // namespace

uint32_t GSRouter::NextNodeId() {
  return nextNodeId;
}

void GSRouter::SetNextNodeId(uint32_t id) {
  nextNodeId = id;
}

uint64_t GSRouter::NewTypeEpoch() {
  return ++lastTypeEpoch;
}

GSRouter::~GSRouter() {
  Done();
}

bool GSRouter::AddNode(GSNode* node) {
  if (node == nullptr || node->id_ != GSNode::kNoId || node->router_ != nullptr) return false;
  if (nextNodeId == GSNode::kNoId) return false;  // every id has been used
  const uint32_t id = nextNodeId++;
  const char* name = node->GetName();
  node->name_.clear();
  if (name != nullptr && *name != '\0' && nodeNames_.emplace(name, id).second) node->name_ = name;
  nodes_.emplace(id, node);
  node->id_ = id;
  node->router_ = this;
  if (node->scheduled) Schedule(node);
  return true;
}

bool GSRouter::RemoveNode(GSNode* node) {
  if (node == nullptr || node->id_ == GSNode::kNoId || node->router_ != this) return false;
  Forget(node);
  for (const std::unique_ptr<SubscriberTree>& tree : subscriptions_)
    if (tree) tree->erase(node->id_);
  if (!node->name_.empty()) {
    auto named = nodeNames_.find(node->name_);
    if (named != nodeNames_.end() && named->second == node->id_) nodeNames_.erase(named);
    node->name_.clear();
  }
  auto found = nodes_.find(node->id_);
  if (found == nodes_.end()) return false;
  nodes_.erase(found);
  ForgetNode(node->id_);
  Unschedule(node->id_);
  node->id_ = GSNode::kNoId;
  node->router_ = nullptr;
  return true;
}

GSNode* GSRouter::FindNodeInTable(uint32_t id) const {
  auto found = nodes_.find(id);
  if (found == nodes_.end()) return nullptr;
  knownNodes_[id % kKnownNodes] = KnownNode{id, found->second};
  return found->second;
}

GSNode* GSRouter::FindNodeByName(const char* name) const {
  if (name == nullptr) return nullptr;
  auto found = nodeNames_.find(name);
  return found != nodeNames_.end() ? FindNode(found->second) : nullptr;
}

void GSRouter::GrowTypeSlots() {
  std::vector<TypeSlot> old(typeSlots_.empty() ? 64 : typeSlots_.size() * 2);
  old.swap(typeSlots_);
  const size_t mask = typeSlots_.size() - 1;
  for (const TypeSlot& slot : old) {
    if (slot.type == 0) continue;
    size_t i = slot.hash & mask;
    while (typeSlots_[i].type != 0) i = (i + 1) & mask;
    typeSlots_[i] = slot;
  }
}

uint16_t GSRouter::InternMajorType(const char* text) {
  return InternMajorType(text != nullptr ? std::string_view(text) : std::string_view());
}

uint16_t GSRouter::InternMajorType(std::string_view text) {
  // The text a C string of it would be (up to a NUL) and its first eight
  // bytes as a word, which with the length settles the hash and, for
  // texts shorter than eight bytes, the comparison.
  const size_t length = text.size();
  const uint64_t head = HeadWord(text.data(), length);
  const uint64_t unused = length >= 8 ? 0 : ~uint64_t{0} << (8 * length);
  if (HasZeroByte(head | unused) || (length > 8 && HasNul(text.substr(8))))
    return InternMajorType(UpToNul(text));
  if (text.empty()) return kAnyType;
  uint32_t hash = static_cast<uint32_t>(((head ^ length) * kHashMultiplier) >> 32);
  for (size_t i = 8; i < length; ++i)
    hash = (hash ^ static_cast<unsigned char>(text[i])) * kHashPrime;
  const size_t mask = typeSlots_.size() - 1;
  size_t i = hash & mask;
  if (!typeSlots_.empty()) {
    for (; typeSlots_[i].type != 0; i = (i + 1) & mask) {
      const TypeSlot& slot = typeSlots_[i];
      if (slot.hash != hash || slot.head != head) continue;
      // No text holds a NUL: a head with a zero top byte is the whole text.
      if (length < 8 || SameTypeText(typeTexts_[slot.type - kFirstType], text)) return slot.type;
    }
  }
  return AddType(text, head, hash, i);
}

uint16_t GSRouter::AddType(std::string_view text, uint64_t head, uint32_t hash, size_t i) {
  if (typeCounter_ == UINT16_MAX) return kRefusedType;
  // The text is held once, beside its slot in the table.
  const uint64_t bytes = text.size() + 64;
  if (!typeCharge_.TrySet(context_, typeCharge_.Bytes() + bytes)) return kRefusedType;
  if ((typeTexts_.size() + 1) * 2 > typeSlots_.size()) {
    GrowTypeSlots();
    const size_t mask = typeSlots_.size() - 1;
    for (i = hash & mask; typeSlots_[i].type != 0; i = (i + 1) & mask) {
    }
  }
  const uint16_t type = ++typeCounter_;
  typeTexts_.emplace_back(text);
  typeSlots_[i] = TypeSlot{head, hash, type};
  return type;
}

const std::string GSRouter::kNoTypeName;

uint32_t* GSRouter::KnownCount(const GSNode* node, uint16_t major) {
  for (const GSNode::KnownSubscription& known : node->known_)
    if (known.count != nullptr && known.major == major) return known.count;
  return nullptr;
}

void GSRouter::Remember(GSNode* node, uint16_t major, uint32_t* count) {
  node->known_[node->nextKnown_++ % GSNode::kKnownSubscriptions] = {major, count};
}

void GSRouter::Forget(GSNode* node) {
  for (GSNode::KnownSubscription& known : node->known_) known = {};
}

bool GSRouter::Subscribe(GSNode* node, uint16_t major) {
  if (node == nullptr || node->id_ == GSNode::kNoId) return false;
  if (uint32_t* count = KnownCount(node, major)) {
    ++*count;
    return true;
  }
  if (subscriptions_.size() <= major) subscriptions_.resize(size_t{major} + 1);
  std::unique_ptr<SubscriberTree>& tree = subscriptions_[major];
  if (!tree) {
    tree = std::make_unique<SubscriberTree>();
    ++treeCount_;
  }
  // Entries stay where they are until the node leaves: the count's address
  // can be kept.
  Subscription& subscription = (*tree)[node->id_];
  ++subscription.count;
  subscription.node = node;
  Remember(node, major, &subscription.count);
  return true;
}

bool GSRouter::Unsubscribe(GSNode* node, uint16_t major) {
  if (node == nullptr || node->id_ == GSNode::kNoId) return false;
  uint32_t* count = KnownCount(node, major);
  if (count == nullptr) {
    SubscriberTree* tree = TreeOf(major);
    if (tree == nullptr) return false;
    auto found = tree->find(node->id_);
    if (found == tree->end()) return false;
    count = &found->second.count;
    Remember(node, major, count);
  }
  if (*count == 0) return false;
  --*count;
  return true;
}

GSRouter::SubscriberTree* GSRouter::TreeOf(uint16_t major) const {
  return major < subscriptions_.size() ? subscriptions_[major].get() : nullptr;
}

bool GSRouter::Subscribed(uint16_t major, GSNode* node) const {
  if (const uint32_t* count = KnownCount(node, major)) return *count > 0;
  const SubscriberTree* tree = TreeOf(major);
  if (tree == nullptr) return false;
  auto found = tree->find(node->id_);
  return found != tree->end() && found->second.count > 0;
}

void GSRouter::Deliver(GSNode* node, const GSMessageRef& message) {
  node->HandleMessage(message);
}

void GSRouter::Send(const GSMessageRef& message) {
  if (!message || message->major == kRefusedType) return;
  const bool system = message->major < kSystemTypeLimit;
  const SubscriberTree* tree = TreeOf(message->major);
  if (!system && tree == nullptr) return;
  if (message->destination != 0) {
    GSNode* node = FindNode(message->destination);
    if (node == nullptr) return;
    if (!system && (!Subscribed(message->major, node) || (node->flags & GSNode::kMute) != 0))
      return;
    Deliver(node, message);
    return;
  }
  // Receivers are chosen first and looked up again before each delivery: a
  // handler may remove nodes or subscriptions while this message is out.
  std::vector<uint32_t> receivers;
  if (system) {
    for (const auto& [id, node] : nodes_) receivers.push_back(id);
  } else {
    for (const auto& [id, subscription] : *tree)
      if (subscription.count > 0) receivers.push_back(id);
  }
  for (uint32_t id : receivers) {
    GSNode* node = FindNode(id);
    if (node == nullptr) continue;
    if (!system && (!Subscribed(message->major, node) || (node->flags & GSNode::kMute) != 0))
      continue;
    Deliver(node, message);
  }
}

bool GSRouter::Later(const Delayed& a, const Delayed& b) {
  return a.due != b.due ? a.due > b.due : a.order > b.order;
}

void GSRouter::Post(const GSMessageRef& message) {
  if (!enabled_ || !message) return;
  GSMessageRef copy = message->Clone();
  if (copy) Queue(std::move(copy));
}

void GSRouter::Post(GSMessageRef&& message) {
  if (!enabled_ || !message) return;
  if (message->UseCount() != 1) {
    Post(static_cast<const GSMessageRef&>(message));
    return;
  }
  Queue(std::move(message));
}

void GSRouter::Queue(GSMessageRef&& copy) {
  const uint32_t delay = copy->DueTime();
  if (delay == 0) {
    posted_.push_back(std::move(copy));
    return;
  }
  const uint64_t due = clock_ + delay;
  copy->due = (copy->due & ~GSMessage::kDueMask) | static_cast<uint32_t>(due & GSMessage::kDueMask);
  delayed_.push_back(Delayed{due, delayOrder_++, std::move(copy)});
  std::push_heap(delayed_.begin(), delayed_.end(), Later);
}

void GSRouter::ClearQueuedMessages(GSNode* node, const char* major, const char* minor) {
  const uint16_t majorType = InternMajorType(major);
  const uint16_t minorType = InternMajorType(minor);
  if (node == nullptr) return;
  const auto matches = [&](const Delayed& entry) {
    const GSMessage& message = *entry.message;
    return message.destination == node->id_ && message.major == majorType &&
           (minorType == kAnyType || message.minor == minorType);
  };
  const auto end = std::remove_if(delayed_.begin(), delayed_.end(), matches);
  const long cleared = delayed_.end() - end;
  if (cleared == 0) return;
  delayed_.erase(end, delayed_.end());
  std::make_heap(delayed_.begin(), delayed_.end(), Later);
  GSPrint("%ld queued router messages cleared for %04u '%s', message %s, %s", cleared, node->id_,
          node->name_.c_str(), MajorTypeName(majorType).c_str(), MajorTypeName(minorType).c_str());
}

void GSRouter::Info() const {
  GSPrint("ROUTER INFO\n===========");
  GSPrint("%zu Node(s)", nodes_.size());
  GSPrint("%zu Message(s) in the delay queue", delayed_.size());
  GSPrint("%u Major types", static_cast<unsigned>(typeCounter_));
  GSPrint("%zu Posted messages", posted_.size());
  GSPrint("%zu Subscription AVL trees", treeCount_);
}

const char* GSRouter::NameOf(uint32_t id) const {
  const GSNode* node = FindNode(id);
  return node != nullptr ? node->name_.c_str() : "";
}

void GSRouter::TraceMessage(const GSMessage& message, std::string& out) const {
  char line[512];
  std::snprintf(line, sizeof line, "router message from %04u '%s' to %04u '%s', message %s, %s\n",
                message.source, NameOf(message.source), message.destination,
                NameOf(message.destination), MajorTypeName(message.major).c_str(),
                MajorTypeName(message.minor).c_str());
  out += line;
}

void GSRouter::DumpAllThreadStacks() const {
  GSPrint("*** DUMPING ALL THREAD STACKS ***");
  for (const auto& [id, node] : nodes_)
    if ((node->flags & GSNode::kGameObject) != 0) node->DumpThreadStacks();
}

void GSRouter::Schedule(GSNode* node) {
  if (node == nullptr || node->router_ != this || node->id_ == GSNode::kNoId) return;
  const uint32_t id = node->id_;
  // Nodes mostly schedule themselves again while the set is updated in id
  // order, so the id usually goes at the end.
  if (scheduled_.empty() || scheduled_.back() < id) {
    scheduled_.push_back(id);
    return;
  }
  auto at = std::lower_bound(scheduled_.begin(), scheduled_.end(), id);
  if (*at != id) scheduled_.insert(at, id);
}

void GSRouter::Unschedule(uint32_t id) {
  auto at = std::lower_bound(scheduled_.begin(), scheduled_.end(), id);
  if (at != scheduled_.end() && *at == id) scheduled_.erase(at);
}

std::vector<GSMessageRef> GSRouter::TakePosted() {
  std::vector<GSMessageRef> taken;
  TakePosted(taken);
  return taken;
}

void GSRouter::TakePosted(std::vector<GSMessageRef>& into) {
  into.clear();
  into.swap(posted_);
}

std::vector<GSMessageRef> GSRouter::TakeDue() {
  std::vector<GSMessageRef> due;
  TakeDue(due);
  return due;
}

void GSRouter::TakeDue(std::vector<GSMessageRef>& into) {
  into.clear();
  while (!delayed_.empty() && delayed_.front().due <= clock_) {
    std::pop_heap(delayed_.begin(), delayed_.end(), Later);
    into.push_back(std::move(delayed_.back().message));
    delayed_.pop_back();
  }
}

std::vector<uint32_t> GSRouter::TakeScheduled() {
  std::vector<uint32_t> taken;
  TakeScheduled(taken);
  return taken;
}

void GSRouter::TakeScheduled(std::vector<uint32_t>& into) {
  into.clear();
  into.swap(scheduled_);
}

bool GSRouter::Done() {
  if (!nodes_.empty()) GSPrint("GSRouter::Done(), %zu outstanding node(s)", nodes_.size());
  // The counts the nodes know go with the trees, before any node is let go
  // (a node deleted below may release others that are still registered).
  for (const auto& [id, node] : nodes_) Forget(node);
  subscriptions_.clear();
  treeCount_ = 0;
  typeSlots_.clear();
  typeTexts_.clear();
  typeCounter_ = 100;
  typeEpoch_ = NewTypeEpoch();
  nodeNames_.clear();
  // One node at a time: deleting one may release others, which then defer
  // (still registered) or go at once (already unregistered).
  while (!nodes_.empty()) {
    GSNode* node = nodes_.begin()->second;
    nodes_.erase(nodes_.begin());
    ForgetNode(node->id_);
    Unschedule(node->id_);
    Forget(node);
    node->id_ = GSNode::kNoId;
    node->router_ = nullptr;
    node->name_.clear();
    node->inbox.clear();
    if ((node->flags & GSNode::kDestroyWhenReleased) != 0) delete node;
  }
  scheduled_.clear();
  posted_.clear();
  delayed_.clear();
  enabled_ = false;
  return true;
}
