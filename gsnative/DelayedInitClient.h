// DelayedInitClient: the base of objects that finish their set-up in three
// delayed phases, run later by the DelayedInitManager they queue with.
//
// Flags (one byte; the low five bits are this class's): 1 phase 1 done,
// 2 phase 2 done, 4 phase 3 done, 8 queued, 16 left to the users of the
// class; 32, 64 and 128 belong to the derived class and are never touched
// here. The base phases only mark themselves done; a derived class
// overrides them to do its work.
//
// - Queue(manager): when some phase is not done and the client is in no
//   queue, marks it queued and appends it to the manager's queue.
// - Unqueue(): leaves the queue the client is in (a client is in at most
//   one); while that manager walks its queue the entry is only nulled.
// - RunPendingPhases(): runs InitPhase1, InitPhase2 and InitPhase3 in this
//   order, each when its done flag is clear at that moment. Each phase is
//   marked done just before it runs, so it runs at most once even when it
//   starts the phases again or does not mark itself; a phase that marks
//   later phases done makes them skipped. When a phase destroys the client,
//   no further phase runs and nothing of the client is touched again.
// - RunNow(): RunPendingPhases, then Unqueue (unless destroyed meanwhile).
//
// Destroying a client unqueues it first, so a manager never calls a
// destroyed client. The client does not own its manager; a manager that is
// destroyed first lets go of its clients. Not thread-safe: clients and
// their manager live on the thread that runs scripts.
#pragma once

#include <cstdint>

class DelayedInitManager;

class DelayedInitClient {
 public:
  static constexpr uint8_t kPhase1Done = 1;
  static constexpr uint8_t kPhase2Done = 2;
  static constexpr uint8_t kPhase3Done = 4;
  static constexpr uint8_t kQueued = 8;
  static constexpr uint8_t kAllPhasesDone = kPhase1Done | kPhase2Done | kPhase3Done;
  static constexpr uint8_t kOwnBits = 0x1F;

  DelayedInitClient() = default;
  virtual ~DelayedInitClient();
  DelayedInitClient(const DelayedInitClient&) = delete;
  DelayedInitClient& operator=(const DelayedInitClient&) = delete;

  virtual void InitPhase1() { flags_ |= kPhase1Done; }
  virtual void InitPhase2() { flags_ |= kPhase2Done; }
  virtual void InitPhase3() { flags_ |= kPhase3Done; }

  void Queue(DelayedInitManager& manager);
  void Unqueue();
  void RunPendingPhases();
  void RunNow();

  uint8_t GetDelayedInitFlags() const { return flags_; }
  bool IsQueued() const { return (flags_ & kQueued) != 0; }

 protected:
  // The whole flag byte, for the derived class's high bits and for phases
  // that mark others done.
  uint8_t& DelayedInitFlags() { return flags_; }

 private:
  friend class DelayedInitManager;

  // One per RunPendingPhases call in progress on this client (they nest
  // when a phase starts the phases again); the destructor marks them all.
  struct RunGuard {
    bool destroyed = false;
    RunGuard* outer = nullptr;
  };

  // Runs one phase unless its flag is set; false when the client was
  // destroyed by it.
  bool RunPhase(uint8_t flag, void (DelayedInitClient::*phase)(), RunGuard& guard);

  uint8_t flags_ = 0;
  DelayedInitManager* manager_ = nullptr;
  RunGuard* runs_ = nullptr;
};
