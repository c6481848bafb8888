// The worker queue: deferred tasks, a pool of worker threads, and the route
// of tasks to the main thread.
//
// A task is a TCXCallbackBase (owned by the queue once posted), its argument
// (also the key by which tasks are cancelled), an optional GlobalLock of
// which the task owns one grant, and flags:
//   kMainThreadOnly (0x1)  run only by the main thread (IsMainThread);
//   kAsynchronous   (0x8)  the poster does not wait;
//   kNotMainThread  (0x10) never run by the main thread.
// A thread may run a task when the task's flags AND the thread's mask are 0;
// the mask is 0x10 on the main thread and 0x1 on every other thread (callers
// of RunPending may add bits). Other bits are carried and ignored.
//
// Post: a waited-for post that the calling thread may run is run at once, in
// place. Otherwise the task is queued in posting order: a main-thread task
// sets the main-thread event (WaitForWork) and wakes a main thread waiting
// for a GlobalLock; any other task wakes the pool, which starts a new worker
// thread whenever a task that workers may run is queued and no worker is
// free to take it (up to kMaxWorkers threads). A worker thread ends after
// the idle time (30 s; SetIdleTime) without work. A waited-for post returns
// once the task has run (true) or was dropped (false). While a waited-for
// post waits on the main thread, the main thread runs the tasks it may run,
// so a worker's task that posts back to the main thread cannot deadlock it.
// A task that no thread may run (both 0x1 and 0x10) is refused: deleted
// unrun, Post answers false. So is every task posted once the queue stops.
//
// Held lock: the task owns one grant of `held_lock`, taken by the posting
// thread; the queue releases it on that thread's behalf once the task has
// run or is dropped.
//
// No lock of the queue is held while a task runs, so tasks may post, run
// pending tasks, cancel or wait freely. A task must not Stop its own queue
// (Stop then only marks the queue stopping and drops what is queued).
//
// Stop (and the destructor) marks the queue stopping, drops every queued
// task (deleting it unrun; a waiting poster returns false), lets the running
// tasks finish and joins every worker thread. A stopped queue stays stopped.
//
// Every member is thread-safe. WorkerThread::Get() is the process-wide queue,
// built on first use and stopped at process exit.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <vector>

#include "kiv/Thread.h"
#include "kiv/WEvent.h"

class GlobalLock;
class TCXCallbackBase;

class WorkerThread {
 public:
  static constexpr uint32_t kMainThreadOnly = 0x1;
  static constexpr uint32_t kAsynchronous = 0x8;
  static constexpr uint32_t kNotMainThread = 0x10;
  static constexpr uint32_t kDefaultIdleMs = 30000;
  static constexpr uint32_t kMaxWorkers = 64;

  WorkerThread();
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  static WorkerThread& Get();
  // 0x10 on the main thread, 0x1 elsewhere.
  static uint32_t ThreadMask();

  bool Post(TCXCallbackBase* callback, uint32_t flags, void* argument = nullptr,
            GlobalLock* held_lock = nullptr);

  // Runs the first queued task (in posting order) that the calling thread
  // may run with `extra_mask` added to its mask. Answers the number of tasks
  // that were queued before it took one, minus one; 0 when it ran none.
  int RunPending(uint32_t extra_mask = 0);
  // The same, answering whether a task ran.
  bool RunOnePending(uint32_t extra_mask = 0);
  // Runs the tasks the calling thread may run until done() holds. done() is
  // evaluated under the queue's guard, so it must not call into the queue; it
  // is checked again after every task that finishes.
  void RunPendingUntil(const std::function<bool()>& done);

  // Waits up to `ms` for main-thread work; true when some was posted since
  // the main thread last ran pending tasks.
  bool WaitForWork(uint32_t ms);
  // True while a task is queued or running.
  bool HasPendingTasks() const;
  // Drops the queued tasks posted with `argument` (deleted unrun, their
  // posters get false); with `wait`, then waits until no task with that
  // argument runs on another thread.
  void CancelTasksOf(void* argument, bool wait);
  void Stop();

  void SetIdleTime(uint32_t ms);
  // Worker threads that have not ended.
  uint32_t WorkerCount() const;

 private:
  struct Completion {
    bool done = false;
    bool cancelled = false;
  };
  struct Entry {
    TCXCallbackBase* callback;
    void* argument;
    GlobalLock* held_lock;
    uint32_t lock_holder;  // The thread whose grant of held_lock the task owns.
    uint32_t flags;
    Completion* completion;  // Null for an asynchronous post.
  };
  struct Running {
    void* argument;
    uint32_t runner;
  };

  int RunOne(uint32_t extra_mask, bool* ran);
  static uint32_t WorkerMain(void* queue);
  void WorkerLoop();
  void EnqueueLocked(const Entry& entry);
  Entry RemoveLocked(std::deque<Entry>::iterator it);
  size_t RunnableCountLocked(uint32_t mask) const;
  void WakePoolLocked();
  void ReapLocked();
  bool StartWorkerLocked();
  void WaitForCompletion(Completion& completion);
  void WaitRunningTasks(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done);
  void Discard(std::vector<Entry>& entries);
  static void Drop(const Entry& entry);

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // Tasks queued, finished or dropped; stopping.
  std::deque<Entry> queued_;
  std::list<Running> running_;
  std::vector<Kiv::Thread*> threads_;
  size_t worker_runnable_ = 0;  // Queued tasks without flag 0x1.
  size_t main_runnable_ = 0;    // Queued tasks without flag 0x10.
  uint32_t live_workers_ = 0;   // Worker threads that have not left their loop.
  uint32_t busy_workers_ = 0;   // Worker threads running a task.
  uint32_t idle_ms_ = kDefaultIdleMs;
  bool stopping_ = false;
  Kiv::WEvent main_event_{true, false};
};
