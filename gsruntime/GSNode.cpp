#include "gsruntime/GSNode.h"

#include "gsruntime/GSRouter.h"

namespace GSRuntime {

GSNode::~GSNode() {
  flags &= ~kDestroyWhenReleased;
  if (router_ != nullptr) router_->RemoveNode(this);
  inbox.clear();
}

bool GSNode::HandleMessage(const GSMessageRef& message) {
  if (message->major != kDestroyType) return false;
  flags |= kDestroyWhenReleased;
  return true;
}

void GSNode::Update(float elapsed) {
  while (!inbox.empty()) {
    const GSMessageRef message = std::move(inbox.front());
    inbox.pop_front();
    HandleMessage(message);
  }
  if (elapsed > 0.0f) scheduled = false;
}

void GSNode::ScheduleUpdate() {
  if (router_ == nullptr && (flags & kDestroyWhenReleased) != 0) {
    delete this;
    return;
  }
  if (scheduled) return;
  scheduled = true;
  if (router_ != nullptr) router_->Schedule(this);
}

GSMessageRef GSNode::PostMessage(const char* major, const char* minor, uint32_t destination,
                                 uint32_t delayMs) {
  return PostMessage(major != nullptr ? std::string_view(major) : std::string_view(),
                     minor != nullptr ? std::string_view(minor) : std::string_view(), destination,
                     delayMs);
}

GSMessageRef GSNode::PostMessage(std::string_view major, std::string_view minor,
                                 uint32_t destination, uint32_t delayMs) {
  if (id_ == kNoId || router_ == nullptr) return nullptr;
  GSMessageRef message = GSMessage::Create();
  if (!message) return message;
  message->major = router_->InternMajorType(major);
  message->minor = router_->InternMajorType(minor);
  message->source = id_;
  message->destination = destination;
  message->due = (delayMs & GSMessage::kDueMask) | GSMessage::kBuiltBit;
  return message;
}

bool GSNode::Subscribe(uint16_t major) {
  return router_ != nullptr && router_->Subscribe(this, major);
}

bool GSNode::Unsubscribe(uint16_t major) {
  return router_ != nullptr && router_->Unsubscribe(this, major);
}

}  // namespace GSRuntime
