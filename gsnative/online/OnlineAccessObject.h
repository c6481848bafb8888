// OnlineAccessObject: the online access of one script asset, the state and
// operations behind the script class of online access, without the script
// binding: the asset's client of the shared endpoint, its received-message
// queue, its post counter, the locally-modified rule, the per-asset data
// kept by the daemon, and the process's offline in-box and out-box.
//
// The script class derives from it (or holds one), forwards its natives to
// the operations below after checking their arguments, calls Update from
// its node update, and forwards the events to its script as messages.
//
// Events (OnlineAccessEvents): ("OnlineAccess", "StatusChange") when the
// status to report changes, ("OnlineAccess", "ReceiveMessage") when
// messages arrived since the last update. Both come only from Update.
//
// Results: 0 done, 1 not online, 4 flood or post limit, 6 nothing waiting.
//
// Post counter: each PostMessage (and each group post, CountPost) adds 1;
// each second of updates takes 1 away. Above kMaxPostCounter the post is
// refused with 4 without reaching the endpoint.
//
// Locally-modified rule: an object whose asset is locally modified takes
// only messages whose sender's asset is locally modified too. A plain
// message (one without version and flag) is taken as version 0 from an
// unmodified asset: queued for an unmodified asset's object, dropped for a
// modified one's.
//
// Bounds: at most kMaxReceivedMessages wait in the queue; later ones are
// dropped, logged and counted (DroppedMessages).
//
// Lifetime: the object links itself into the process's object list. Its
// destructor lets go of the connection (as Disconnect does, without the
// events) and saves the message cache. `events` may be null; it and the
// process are not owned and must outlive the object.
//
// Threads: the script thread only. GetLocalData blocks it until the daemon
// answers; SetLocalData is one-way; Connect may wait for the service's
// host-name look-up (at most 5 seconds).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "gsnative/online/OnlineAccessClientEndpoint.h"
#include "gsnative/online/OnlineAccessMessageListInterface.h"

class OnlineAccessProcess;

class OnlineAccessEvents {
 public:
  virtual ~OnlineAccessEvents() = default;
  virtual void Post(const char* major, const char* minor) = 0;
};

class OnlineAccessObject : public OnlineAccessClientBase, public OnlineAccessMessageListInterface {
 public:
  static constexpr float kMaxPostCounter = 60.0f;
  static constexpr size_t kMaxReceivedMessages = 1000;
  static constexpr int kDone = 0;
  static constexpr int kNotOnline = 1;
  static constexpr int kLimited = 4;
  static constexpr int kNothingWaiting = 6;

  OnlineAccessObject(OnlineAccessProcess& process, const KUID& assetKuid, bool modified,
                     OnlineAccessEvents* events);
  OnlineAccessObject(const OnlineAccessObject&) = delete;
  OnlineAccessObject& operator=(const OnlineAccessObject&) = delete;
  ~OnlineAccessObject() override;

  // The connection is wanted: the endpoint connects unless it is connecting
  // or online already, and this object becomes its client (which replays
  // the stored messages for this asset).
  void Connect();
  // The connection is no longer wanted: the client leaves the endpoint,
  // which disconnects when no client is left; the message cache is saved.
  void Disconnect();
  // The last reported status: 0 before the first update.
  uint32_t GetStatus() const { return reportedStatus_; }
  std::string GetUsername();

  // The asset's data under `key` (lower-cased here) from the daemon: true
  // with `soup` set to a copy of what is stored; false, `soup` unchanged,
  // when the daemon did not answer.
  bool GetLocalData(const std::string& key, Soup& soup);
  // Stores `soup` under the key (one-way); false when it could not be sent.
  bool SetLocalData(const std::string& key, const Soup& soup);

  bool OverPostLimit() const { return postCounter_ > kMaxPostCounter; }
  void CountPost() { postCounter_ += 1.0f; }
  // 4 over the post limit; else counts the post and sends the message to
  // the user (the endpoint's 0, 1 or 4). The caller has checked the name.
  int PostMessage(const std::string& userName, const Soup& body);
  int PopMessage(std::string& userName, Soup& body) override;

  // A deep copy of `soup` becomes the out-box's next child ("0", "1", ...).
  int PostOfflineMessage(const Soup& soup);
  // Takes the in-box's first child into `soup`: 0; 6, `soup` unchanged,
  // when the in-box is missing, null or empty.
  int CollectOfflineMessage(Soup& soup);

  // One update, `elapsed` seconds after the last: drains the post counter,
  // drives the endpoint and reports (see Events).
  void Update(double elapsed);

  void ReceiveMessage(std::unique_ptr<OnlineMessage> message) override;

  bool Modified() const { return modified_; }
  bool ConnectionWanted() const { return wanted_; }
  float PostCounter() const { return postCounter_; }
  size_t QueuedMessages() const { return received_.size(); }
  uint64_t DroppedMessages() const { return dropped_; }
  OnlineAccessProcess& Process() { return process_; }

 private:
  void LeaveEndpoint();

  OnlineAccessProcess& process_;
  OnlineAccessClientEndpoint& endpoint_;
  OnlineAccessEvents* events_;
  uint32_t reportedStatus_ = 0;
  bool modified_;
  bool wanted_ = false;
  std::deque<std::unique_ptr<OnlineVersionedMessage>> received_;
  bool messageArrived_ = false;
  float postCounter_ = 0.0f;
  uint64_t dropped_ = 0;
};
