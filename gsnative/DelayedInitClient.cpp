#include "gsnative/DelayedInitClient.h"

#include "gsnative/DelayedInitManager.h"

DelayedInitClient::~DelayedInitClient() {
  for (RunGuard* g = runs_; g != nullptr; g = g->outer) g->destroyed = true;
  Unqueue();
}

void DelayedInitClient::Queue(DelayedInitManager& manager) {
  if ((flags_ & kAllPhasesDone) == kAllPhasesDone || IsQueued()) return;
  flags_ |= kQueued;
  manager_ = &manager;
  manager.Append(this);
}

void DelayedInitClient::Unqueue() {
  if (!IsQueued()) return;
  if (manager_ != nullptr) manager_->Remove(this);
  manager_ = nullptr;
  flags_ &= uint8_t(~kQueued);
}

bool DelayedInitClient::RunPhase(uint8_t flag, void (DelayedInitClient::*phase)(),
                                 RunGuard& guard) {
  if ((flags_ & flag) != 0) return true;
  flags_ |= flag;
  (this->*phase)();
  return !guard.destroyed;
}

void DelayedInitClient::RunPendingPhases() {
  RunGuard guard;
  guard.outer = runs_;
  runs_ = &guard;
  const bool alive = RunPhase(kPhase1Done, &DelayedInitClient::InitPhase1, guard) &&
                     RunPhase(kPhase2Done, &DelayedInitClient::InitPhase2, guard) &&
                     RunPhase(kPhase3Done, &DelayedInitClient::InitPhase3, guard);
  if (alive) runs_ = guard.outer;
}

void DelayedInitClient::RunNow() {
  RunGuard guard;
  guard.outer = runs_;
  runs_ = &guard;
  RunPendingPhases();
  if (guard.destroyed) return;
  runs_ = guard.outer;
  Unqueue();
}
