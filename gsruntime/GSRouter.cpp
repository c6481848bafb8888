#include "gsruntime/GSRouter.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "gsruntime/GSPrintHook.h"

using GSRuntime::GSMessage;
using GSRuntime::GSMessageRef;
using GSRuntime::GSNode;

namespace {

uint32_t nextNodeId = 1;  // process-wide; ids are never handed out twice

}  // namespace

uint32_t GSRouter::NextNodeId() {
  return nextNodeId;
}

void GSRouter::SetNextNodeId(uint32_t id) {
  nextNodeId = id;
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
  if (node->scheduled) scheduled_.emplace(id, node);
  return true;
}

bool GSRouter::RemoveNode(GSNode* node) {
  if (node == nullptr || node->id_ == GSNode::kNoId || node->router_ != this) return false;
  for (auto& [major, tree] : subscriptions_) tree.erase(node->id_);
  if (!node->name_.empty()) {
    auto named = nodeNames_.find(node->name_);
    if (named != nodeNames_.end() && named->second == node->id_) nodeNames_.erase(named);
    node->name_.clear();
  }
  auto found = nodes_.find(node->id_);
  if (found == nodes_.end()) return false;
  nodes_.erase(found);
  scheduled_.erase(node->id_);
  node->id_ = GSNode::kNoId;
  node->router_ = nullptr;
  return true;
}

GSNode* GSRouter::FindNode(uint32_t id) const {
  auto found = nodes_.find(id);
  return found != nodes_.end() ? found->second : nullptr;
}

GSNode* GSRouter::FindNodeByName(const char* name) const {
  if (name == nullptr) return nullptr;
  auto found = nodeNames_.find(name);
  return found != nodeNames_.end() ? FindNode(found->second) : nullptr;
}

uint16_t GSRouter::InternMajorType(const char* text) {
  if (text == nullptr || *text == '\0') return kAnyType;
  auto found = typeNames_.find(text);
  if (found != typeNames_.end()) return found->second;
  if (typeCounter_ == UINT16_MAX) return kRefusedType;
  // The text is held twice (by name and by number), each in a map node.
  const uint64_t bytes = 2 * (std::strlen(text) + 64);
  if (!typeCharge_.TrySet(context_, typeCharge_.Bytes() + bytes)) return kRefusedType;
  const uint16_t type = ++typeCounter_;
  typeNames_.emplace(text, type);
  typeTexts_.emplace(type, text);
  return type;
}

std::string GSRouter::MajorTypeName(uint16_t type) const {
  auto found = typeTexts_.find(type);
  return found != typeTexts_.end() ? found->second : std::string();
}

bool GSRouter::Subscribe(GSNode* node, uint16_t major) {
  if (node == nullptr || node->id_ == GSNode::kNoId) return false;
  Subscription& subscription = subscriptions_[major][node->id_];
  ++subscription.count;
  subscription.node = node;
  return true;
}

bool GSRouter::Unsubscribe(GSNode* node, uint16_t major) {
  if (node == nullptr || node->id_ == GSNode::kNoId) return false;
  auto tree = subscriptions_.find(major);
  if (tree == subscriptions_.end()) return false;
  auto found = tree->second.find(node->id_);
  if (found == tree->second.end()) return false;
  if (--found->second.count < 1) tree->second.erase(found);
  return true;
}

void GSRouter::Deliver(GSNode* node, const GSMessageRef& message) {
  node->HandleMessage(message);
}

void GSRouter::Send(const GSMessageRef& message) {
  if (!message || message->major == kRefusedType) return;
  const bool system = message->major < kSystemTypeLimit;
  auto tree = subscriptions_.find(message->major);
  if (!system && tree == subscriptions_.end()) return;
  // Receivers are chosen first and looked up again before each delivery: a
  // handler may remove nodes or subscriptions while this message is out.
  std::vector<uint32_t> receivers;
  if (message->destination != 0) {
    receivers.push_back(message->destination);
  } else if (system) {
    for (const auto& [id, node] : nodes_) receivers.push_back(id);
  } else {
    for (const auto& [id, subscription] : tree->second) receivers.push_back(id);
  }
  for (uint32_t id : receivers) {
    GSNode* node = FindNode(id);
    if (node == nullptr) continue;
    if (!system) {
      tree = subscriptions_.find(message->major);
      if (tree == subscriptions_.end() || tree->second.count(id) == 0) continue;
      if ((node->flags & GSNode::kMute) != 0) continue;
    }
    Deliver(node, message);
  }
}

bool GSRouter::Later(const Delayed& a, const Delayed& b) {
  return a.due != b.due ? a.due > b.due : a.order > b.order;
}

void GSRouter::Post(const GSMessageRef& message) {
  if (!enabled_ || !message) return;
  GSMessageRef copy = message->Clone();
  if (!copy) return;
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
  GSPrint("%zu Subscription AVL trees", subscriptions_.size());
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
  if (node != nullptr && node->router_ == this && node->id_ != GSNode::kNoId)
    scheduled_.emplace(node->id_, node);
}

std::vector<GSMessageRef> GSRouter::TakePosted() {
  std::vector<GSMessageRef> taken(std::make_move_iterator(posted_.begin()),
                                  std::make_move_iterator(posted_.end()));
  posted_.clear();
  return taken;
}

std::vector<GSMessageRef> GSRouter::TakeDue() {
  std::vector<GSMessageRef> due;
  while (!delayed_.empty() && delayed_.front().due <= clock_) {
    std::pop_heap(delayed_.begin(), delayed_.end(), Later);
    due.push_back(std::move(delayed_.back().message));
    delayed_.pop_back();
  }
  return due;
}

std::vector<uint32_t> GSRouter::TakeScheduled() {
  std::vector<uint32_t> taken;
  for (const auto& [id, node] : scheduled_) taken.push_back(id);
  scheduled_.clear();
  return taken;
}

bool GSRouter::Done() {
  if (!nodes_.empty()) GSPrint("GSRouter::Done(), %zu outstanding node(s)", nodes_.size());
  subscriptions_.clear();
  typeNames_.clear();
  typeTexts_.clear();
  typeCounter_ = 100;
  nodeNames_.clear();
  // One node at a time: deleting one may release others, which then defer
  // (still registered) or go at once (already unregistered).
  while (!nodes_.empty()) {
    GSNode* node = nodes_.begin()->second;
    nodes_.erase(nodes_.begin());
    scheduled_.erase(node->id_);
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
