// DelayedInitManager: the queue of clients whose delayed initialisation
// phases are still to run (the side of the script context that owns the
// queue).
//
// RunQueue is the walk: it sets the running flag, calls RunNow on every
// entry that was in the queue when the walk began and is not null, then
// removes the null entries (clients that left the queue during the walk)
// and clears the flag. Clients queued during a walk wait for the next one,
// so a walk always ends; a walk started from inside a walk does nothing.
// The manager does not own its clients; destroying it takes every client
// out of the queue (their queued flag cleared) without touching anything
// else of them. Not thread-safe.
#pragma once

#include <cstddef>
#include <vector>

class DelayedInitClient;

class DelayedInitManager {
 public:
  DelayedInitManager() = default;
  virtual ~DelayedInitManager();
  DelayedInitManager(const DelayedInitManager&) = delete;
  DelayedInitManager& operator=(const DelayedInitManager&) = delete;

  void RunQueue();
  bool IsRunning() const { return running_; }
  // The queue's entries, nulled ones included, in order.
  const std::vector<DelayedInitClient*>& GetQueue() const { return queue_; }

 private:
  friend class DelayedInitClient;

  void Append(DelayedInitClient* client) { queue_.push_back(client); }
  // Nulls the client's entry while walking, erases it otherwise.
  void Remove(DelayedInitClient* client);

  std::vector<DelayedInitClient*> queue_;
  bool running_ = false;
};
