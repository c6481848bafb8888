// WorkPool: the worker threads that run the daemon's requests.
//
// Submit hands a task to an idle worker, starting a new thread when the
// queued tasks outnumber the idle workers, up to `maxWorkers` threads (so a
// task never waits for a worker that is busy while the pool has room). While `maxWorkers` tasks run, Submit
// waits until one ends (the bound on concurrent work; the caller is a
// connection's reader, so only that connection's reading pauses) and
// answers false at once after Stop. Threads are kept for later tasks.
//
// Stop (idempotent) refuses new tasks, waits up to `waitMs` for the running
// and queued ones to end, and joins the threads when they have; true when
// everything ended. When tasks are still running after the wait it answers
// false and leaves their threads running (the daemon then ends the process
// without waiting for them). The destructor stops with an unbounded wait.
//
// Thread-safe. A task must not throw (the server catches for it).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkPool {
 public:
  explicit WorkPool(uint32_t maxWorkers);
  ~WorkPool();
  WorkPool(const WorkPool&) = delete;
  WorkPool& operator=(const WorkPool&) = delete;

  bool Submit(std::function<void()> task);
  bool Stop(uint32_t waitMs);
  // Tasks running or queued.
  uint32_t Busy() const;

 private:
  void Run();

  const uint32_t maxWorkers_;
  mutable std::mutex lock_;
  std::condition_variable workReady_;
  std::condition_variable slotFree_;
  std::deque<std::function<void()>> queue_;
  std::vector<std::thread> threads_;
  uint32_t idle_ = 0;
  uint32_t busy_ = 0;  // Queued plus running.
  bool stopping_ = false;
  bool joined_ = false;
};
