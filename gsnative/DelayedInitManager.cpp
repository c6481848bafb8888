#include "gsnative/DelayedInitManager.h"

#include <algorithm>

#include "gsnative/DelayedInitClient.h"

DelayedInitManager::~DelayedInitManager() {
  for (DelayedInitClient* client : queue_) {
    if (client == nullptr) continue;
    client->manager_ = nullptr;
    client->flags_ &= uint8_t(~DelayedInitClient::kQueued);
  }
}

void DelayedInitManager::Remove(DelayedInitClient* client) {
  auto at = queue_.end();
  if (!queue_.empty() && queue_.back() == client) {
    at = queue_.end() - 1;
  } else {
    at = std::find(queue_.begin(), queue_.end(), client);
  }
  if (at == queue_.end()) return;
  if (running_) {
    *at = nullptr;
    return;
  }
  queue_.erase(at);
}

void DelayedInitManager::RunQueue() {
  if (running_) return;
  running_ = true;
  const size_t count = queue_.size();
  for (size_t i = 0; i < count; ++i) {
    if (DelayedInitClient* client = queue_[i]) client->RunNow();
  }
  std::erase(queue_, nullptr);
  running_ = false;
}
