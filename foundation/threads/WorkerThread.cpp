#include "foundation/threads/WorkerThread.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "foundation/base/ApplicationRecords.h"
#include "foundation/base/LogMessage.h"
#include "foundation/threads/CallGuarded.h"
#include "foundation/threads/GlobalLock.h"
#include "foundation/threads/TCXCallbackBase.h"

namespace {

// The queue whose worker thread this is; null on other threads.
thread_local WorkerThread* t_worker_of = nullptr;
// Tasks running on this thread, nested ones included: a worker counts as busy
// once, however deep its tasks nest (a task that waits may run others).
thread_local uint32_t t_run_depth = 0;

// Waits that also run tasks or may have to retry starting a worker thread
// look again at least this often.
constexpr std::chrono::milliseconds kWaitSlice(50);

constexpr uint32_t kUnrunnable = WorkerThread::kMainThreadOnly | WorkerThread::kNotMainThread;

}  // namespace

WorkerThread::WorkerThread() = default;

WorkerThread::~WorkerThread() {
  Stop();
}

WorkerThread& WorkerThread::Get() {
  static WorkerThread queue;
  return queue;
}

uint32_t WorkerThread::ThreadMask() {
  return IsMainThread() ? kNotMainThread : kMainThreadOnly;
}

// Deletes a task that ran or will never run, and gives back its grant.
void WorkerThread::Drop(const Entry& entry) {
  delete entry.callback;
  if (entry.held_lock != nullptr) entry.held_lock->Release(entry.lock_holder);
}

bool WorkerThread::Post(TCXCallbackBase* callback, uint32_t flags, void* argument,
                        GlobalLock* held_lock) {
  Entry entry{callback, argument, held_lock, Kiv::Thread::GetCurrentId(), flags, nullptr};
  if ((flags & kAsynchronous) == 0 && (flags & ThreadMask()) == 0) {
    CallGuarded(callback, argument);
    Drop(entry);
    return true;
  }
  if ((flags & kUnrunnable) == kUnrunnable) {
    LogMessage("WorkerThread: refused a task with flags 0x%x, which no thread may run", flags);
    Drop(entry);
    changed_.notify_all();
    return false;
  }
  Completion completion;
  if ((flags & kAsynchronous) == 0) entry.completion = &completion;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) {
      lock.unlock();
      Drop(entry);
      changed_.notify_all();
      return false;
    }
    EnqueueLocked(entry);
    if ((flags & kMainThreadOnly) != 0) {
      main_event_.Set();
    } else {
      WakePoolLocked();
    }
  }
  changed_.notify_all();
  if ((flags & kMainThreadOnly) != 0) GlobalLock::WakeMainThreadWaiter();
  if (entry.completion == nullptr) return true;
  WaitForCompletion(completion);
  return !completion.cancelled;
}

void WorkerThread::EnqueueLocked(const Entry& entry) {
  queued_.push_back(entry);
  if ((entry.flags & kMainThreadOnly) == 0) ++worker_runnable_;
  if ((entry.flags & kNotMainThread) == 0) ++main_runnable_;
}

WorkerThread::Entry WorkerThread::RemoveLocked(std::deque<Entry>::iterator it) {
  Entry entry = *it;
  queued_.erase(it);
  if ((entry.flags & kMainThreadOnly) == 0) --worker_runnable_;
  if ((entry.flags & kNotMainThread) == 0) --main_runnable_;
  return entry;
}

size_t WorkerThread::RunnableCountLocked(uint32_t mask) const {
  if (mask == kMainThreadOnly) return worker_runnable_;
  if (mask == kNotMainThread) return main_runnable_;
  return static_cast<size_t>(std::count_if(
      queued_.begin(), queued_.end(), [mask](const Entry& e) { return (e.flags & mask) == 0; }));
}

int WorkerThread::RunPending(uint32_t extra_mask) {
  bool ran = false;
  return RunOne(extra_mask, &ran);
}

bool WorkerThread::RunOnePending(uint32_t extra_mask) {
  bool ran = false;
  RunOne(extra_mask, &ran);
  return ran;
}

int WorkerThread::RunOne(uint32_t extra_mask, bool* ran) {
  const uint32_t mask = extra_mask | ThreadMask();
  const bool main = IsMainThread();
  if (main) main_event_.Reset();
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopping_) return 0;
  const size_t queued = queued_.size();
  auto it = std::find_if(queued_.begin(), queued_.end(),
                         [mask](const Entry& e) { return (e.flags & mask) == 0; });
  const bool skipped = it != queued_.begin() || (it == queued_.end() && queued != 0);
  if (skipped && main) WakePoolLocked();
  if (it == queued_.end()) return 0;
  const Entry entry = RemoveLocked(it);
  running_.push_back(Running{entry.argument, Kiv::Thread::GetCurrentId()});
  const auto running = std::prev(running_.end());
  const bool counts_busy = t_worker_of == this && t_run_depth == 0;
  if (counts_busy) ++busy_workers_;
  ++t_run_depth;
  lock.unlock();

  CallGuarded(entry.callback, entry.argument);
  Drop(entry);

  lock.lock();
  --t_run_depth;
  if (entry.completion != nullptr) entry.completion->done = true;
  running_.erase(running);
  if (counts_busy) --busy_workers_;
  lock.unlock();
  changed_.notify_all();
  *ran = true;
  // Never negative: at least the task just run was queued.
  return static_cast<int>(queued) - 1;
}

void WorkerThread::RunPendingUntil(const std::function<bool()>& done) {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitRunningTasks(lock, done);
}

// Waits, with `lock` held on entry and on return, until done() holds,
// running meanwhile the tasks the calling thread may run.
void WorkerThread::WaitRunningTasks(std::unique_lock<std::mutex>& lock,
                                    const std::function<bool()>& done) {
  const uint32_t mask = ThreadMask();
  auto runnable = [&] { return !stopping_ && RunnableCountLocked(mask) > 0; };
  while (!done()) {
    if (runnable()) {
      lock.unlock();
      RunOnePending(0);
      lock.lock();
      continue;
    }
    // A worker that could not be started is tried again here.
    WakePoolLocked();
    changed_.wait_for(lock, kWaitSlice, [&] { return done() || runnable(); });
  }
}

void WorkerThread::WaitForCompletion(Completion& completion) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto done = [&] { return completion.done; };
  if (IsMainThread()) {
    WaitRunningTasks(lock, done);
    return;
  }
  // Only main-thread tasks reach here (others run in place): the main thread
  // runs them, or they are dropped, and either way the poster is woken.
  changed_.wait(lock, done);
}

// Starts worker threads while tasks that workers may run outnumber the
// workers free to take them (idle or just started).
void WorkerThread::WakePoolLocked() {
  ReapLocked();
  while (!stopping_ && live_workers_ < kMaxWorkers &&
         worker_runnable_ > live_workers_ - busy_workers_) {
    if (!StartWorkerLocked()) break;
  }
}

void WorkerThread::ReapLocked() {
  auto ended =
      std::partition(threads_.begin(), threads_.end(), [](Kiv::Thread* t) { return !t->IsDone(); });
  for (auto it = ended; it != threads_.end(); ++it) delete *it;
  threads_.erase(ended, threads_.end());
}

// A thread that cannot be started is deleted; its task stays queued for the
// next wake-up of the pool.
bool WorkerThread::StartWorkerLocked() {
  Kiv::Thread* thread = new (std::nothrow) Kiv::Thread(WorkerMain, this, true);
  if (thread == nullptr) return false;
  if (!thread->StartedOk()) {
    delete thread;
    return false;
  }
  try {
    threads_.push_back(thread);
  } catch (const std::bad_alloc&) {
    delete thread;  // Never resumed: it ends without running.
    return false;
  }
  thread->SetPriority(0);
  ++live_workers_;
  thread->Resume();
  return true;
}

uint32_t WorkerThread::WorkerMain(void* queue) {
  auto* self = static_cast<WorkerThread*>(queue);
  t_worker_of = self;
  self->WorkerLoop();
  t_worker_of = nullptr;
  return 0;
}

// Runs tasks while there are any for workers; ends after the idle time
// without work, or when the queue stops.
void WorkerThread::WorkerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopping_) break;
    if (worker_runnable_ > 0) {
      lock.unlock();
      RunOnePending(0);
      lock.lock();
      continue;
    }
    const std::chrono::milliseconds idle(idle_ms_);
    if (!changed_.wait_for(lock, idle, [&] { return stopping_ || worker_runnable_ > 0; })) break;
  }
  --live_workers_;
}

bool WorkerThread::WaitForWork(uint32_t ms) {
  return main_event_.Wait(ms);
}

bool WorkerThread::HasPendingTasks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !queued_.empty() || !running_.empty();
}

// Deletes dropped tasks (outside the guard: a callback's destructor may do
// anything), then tells their posters.
void WorkerThread::Discard(std::vector<Entry>& entries) {
  for (const Entry& entry : entries) Drop(entry);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& entry : entries) {
      if (entry.completion == nullptr) continue;
      entry.completion->cancelled = true;
      entry.completion->done = true;
    }
  }
  changed_.notify_all();
}

void WorkerThread::CancelTasksOf(void* argument, bool wait) {
  std::vector<Entry> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = queued_.begin(); it != queued_.end();) {
      if (it->argument != argument) {
        ++it;
        continue;
      }
      const size_t index = static_cast<size_t>(it - queued_.begin());
      dropped.push_back(RemoveLocked(it));
      it = queued_.begin() + static_cast<std::ptrdiff_t>(index);
    }
  }
  Discard(dropped);
  if (!wait) return;
  // A task of that argument run by the caller itself (further up its stack)
  // cannot end while the caller waits, so it is not waited for.
  const uint32_t me = Kiv::Thread::GetCurrentId();
  std::unique_lock<std::mutex> lock(mutex_);
  auto idle = [&] {
    return std::none_of(running_.begin(), running_.end(),
                        [&](const Running& r) { return r.argument == argument && r.runner != me; });
  };
  if (IsMainThread()) {
    WaitRunningTasks(lock, idle);
    return;
  }
  changed_.wait(lock, idle);
}

void WorkerThread::Stop() {
  std::vector<Entry> dropped;
  std::vector<Kiv::Thread*> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    while (!queued_.empty()) dropped.push_back(RemoveLocked(queued_.begin()));
    // A worker cannot join itself; the destructor, run elsewhere, joins later.
    if (t_worker_of != this) threads.swap(threads_);
  }
  changed_.notify_all();
  Discard(dropped);
  for (Kiv::Thread* thread : threads) delete thread;  // Joins.
}

void WorkerThread::SetIdleTime(uint32_t ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  idle_ms_ = ms;
}

uint32_t WorkerThread::WorkerCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return live_workers_;
}
