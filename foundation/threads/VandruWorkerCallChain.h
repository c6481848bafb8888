// Calls that run one after another on the worker queue.
//
// Add queues a call (a TCXCallbackBase the chain owns from then on) with
// worker-queue flags (see WorkerThread.h; the chain always posts
// asynchronously). Start posts the first call; each call, once it has
// returned, posts the next, so the calls run in order and never two at a
// time, each on a thread its flags allow. The chain is running from Start
// until its calls have drained; Start while it runs does nothing, and calls
// added meanwhile join the end of the chain.
//
// Wait returns once the chain is not running. While it waits, the calling
// thread runs the queue's tasks that it may run (the chain's own calls
// among them), so waiting from a worker thread, or from the main thread for
// a chain with main-thread calls, cannot deadlock.
//
// When the queue drops a posted call without running it (the chain's tasks
// were cancelled, or the queue stopped), the chain deletes its remaining
// calls unrun, stops running and reports WasDiscarded until the next Start.
//
// Thread-safe. The destructor waits for a running chain, then deletes any
// calls never started. The queue must outlive the chain.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

class TCXCallbackBase;
class WorkerThread;

class VandruWorkerCallChain {
 public:
  // Null means the process-wide queue.
  explicit VandruWorkerCallChain(WorkerThread* queue = nullptr);
  ~VandruWorkerCallChain();
  VandruWorkerCallChain(const VandruWorkerCallChain&) = delete;
  VandruWorkerCallChain& operator=(const VandruWorkerCallChain&) = delete;

  void Add(uint32_t flags, TCXCallbackBase* callback);
  void Start();
  void Wait();

  bool IsRunning() const;
  bool WasDiscarded() const;

  // The steps of a running chain: RunNext posts the front call (or ends the
  // run when none is left); RunOne runs it and goes on with RunNext.
  void RunNext();
  void RunOne(void* argument);

 private:
  class Step;
  struct Call {
    TCXCallbackBase* callback;
    uint32_t flags;
  };

  void Discard();
  WorkerThread& Queue();

  WorkerThread* queue_;
  mutable std::mutex mutex_;
  std::deque<Call> calls_;
  bool running_ = false;
  bool discarded_ = false;
};
