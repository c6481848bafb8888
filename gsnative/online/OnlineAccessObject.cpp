#include "gsnative/online/OnlineAccessObject.h"

#include <algorithm>

#include "assetdb/client/VADClientRequests.h"
#include "gsnative/online/OnlineAccessProcess.h"
#include "kiv/Log.h"
#include "kiv/String.h"

namespace {

// A plain message counts as version 0 from an unmodified asset.
std::unique_ptr<OnlineVersionedMessage> AsVersioned(std::unique_ptr<OnlineMessage> message) {
  if (message->IsVersioned()) {
    return std::unique_ptr<OnlineVersionedMessage>(
        static_cast<OnlineVersionedMessage*>(message.release()));
  }
  auto versioned = std::make_unique<OnlineVersionedMessage>();
  versioned->userName = std::move(message->userName);
  versioned->body = std::move(message->body);
  versioned->kuid = message->kuid;
  versioned->version = 0;
  versioned->modified = false;
  return versioned;
}

}  // namespace

OnlineAccessObject::OnlineAccessObject(OnlineAccessProcess& process, const KUID& assetKuid,
                                       bool modified, OnlineAccessEvents* events)
    : process_(process), endpoint_(process.Endpoint()), events_(events), modified_(modified) {
  kuid = assetKuid;
  process_.Link(this);
}

OnlineAccessObject::~OnlineAccessObject() {
  wanted_ = false;
  LeaveEndpoint();
  process_.SaveMessageCache();
  process_.Unlink(this);
}

void OnlineAccessObject::Connect() {
  wanted_ = true;
  const uint32_t status = endpoint_.GetStatus();
  if (status != OnlineAccessClientEndpoint::kStatusConnecting &&
      status != OnlineAccessClientEndpoint::kStatusOnline) {
    endpoint_.Connect(false);
  }
  endpoint_.AddClient(this);
}

void OnlineAccessObject::Disconnect() {
  wanted_ = false;
  LeaveEndpoint();
  process_.SaveMessageCache();
}

void OnlineAccessObject::LeaveEndpoint() {
  endpoint_.RemoveClient(this);
  if (!endpoint_.HasClients()) endpoint_.Disconnect();
}

std::string OnlineAccessObject::GetUsername() {
  return process_.Account().GetOnlineUsername();
}

bool OnlineAccessObject::GetLocalData(const std::string& key, Soup& soup) {
  Soup stored;
  if (!VADClientRequests::GetLocalData(kuid, Kiv::AsciiLower(key), stored)) return false;
  Soup::Copy(soup, stored);
  return true;
}

bool OnlineAccessObject::SetLocalData(const std::string& key, const Soup& soup) {
  return VADClientRequests::SetLocalData(kuid, Kiv::AsciiLower(key), soup);
}

int OnlineAccessObject::PostMessage(const std::string& userName, const Soup& body) {
  if (OverPostLimit()) return kLimited;
  CountPost();
  return endpoint_.SendMessage(userName, body, modified_, kuid);
}

int OnlineAccessObject::PopMessage(std::string& userName, Soup& body) {
  if (received_.empty()) {
    return endpoint_.GetStatus() == OnlineAccessClientEndpoint::kStatusOnline ? kNothingWaiting
                                                                              : kNotOnline;
  }
  std::unique_ptr<OnlineVersionedMessage> message = std::move(received_.front());
  received_.pop_front();
  userName = std::move(message->userName);
  body = std::move(message->body);
  return kDone;
}

int OnlineAccessObject::PostOfflineMessage(const Soup& soup) {
  Soup& outbox = process_.Outbox();
  Soup copy;
  Soup::Copy(copy, soup);
  outbox.SetNamedSoup(outbox.GetUniqueTagName(), copy);
  return kDone;
}

int OnlineAccessObject::CollectOfflineMessage(Soup& soup) {
  Soup& inbox = process_.Inbox();
  if (inbox.IsNull() || inbox.CountTags() == 0) return kNothingWaiting;
  const Kiv::PString name = inbox.GetIndexedTagName(0);
  soup = inbox.GetIndexedSoup(0);
  inbox.RemoveNamedTag(name);
  return kDone;
}

void OnlineAccessObject::Update(double elapsed) {
  postCounter_ = std::max(0.0f, postCounter_ - static_cast<float>(elapsed));
  endpoint_.Update();
  const uint32_t status =
      wanted_ ? endpoint_.GetStatus() : OnlineAccessClientEndpoint::kStatusNotConnected;
  if (status != reportedStatus_) {
    reportedStatus_ = status;
    if (events_ != nullptr) events_->Post("OnlineAccess", "StatusChange");
    if (!received_.empty()) messageArrived_ = true;
  }
  if (!messageArrived_) return;
  messageArrived_ = false;
  if (events_ != nullptr) events_->Post("OnlineAccess", "ReceiveMessage");
}

void OnlineAccessObject::ReceiveMessage(std::unique_ptr<OnlineMessage> message) {
  std::unique_ptr<OnlineVersionedMessage> versioned = AsVersioned(std::move(message));
  if (modified_ && !versioned->modified) return;
  if (received_.size() >= kMaxReceivedMessages) {
    ++dropped_;
    Kiv::Log::Printf(
        "OnlineAccessObject::ReceiveMessage> %zu messages wait already; "
        "message from %s dropped",
        received_.size(), versioned->userName.c_str());
    return;
  }
  received_.push_back(std::move(versioned));
  messageArrived_ = true;
}
