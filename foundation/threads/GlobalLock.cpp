#include "foundation/threads/GlobalLock.h"

#include <algorithm>
#include <chrono>

#include "foundation/base/ApplicationRecords.h"
#include "foundation/base/LogMessage.h"
#include "foundation/threads/BlockingScreen.h"
#include "foundation/threads/WorkerThread.h"
#include "kiv/ResourceSystem.h"
#include "kiv/Time.h"

namespace {

// The lock the main thread is waiting for, if any; WakeMainThreadWaiter
// reaches it through here. Nested waits (a task run during a wait that waits
// for a lock in turn) stack up and unwind in order.
std::mutex& MainWaiterMutex() {
  static std::mutex mutex;
  return mutex;
}

GlobalLock*& MainWaiter() {
  static GlobalLock* waiter = nullptr;
  return waiter;
}

class MainWaiterScope {
 public:
  explicit MainWaiterScope(GlobalLock* lock) {
    std::lock_guard<std::mutex> guard(MainWaiterMutex());
    previous_ = MainWaiter();
    MainWaiter() = lock;
  }
  ~MainWaiterScope() {
    std::lock_guard<std::mutex> guard(MainWaiterMutex());
    MainWaiter() = previous_;
  }
  MainWaiterScope(const MainWaiterScope&) = delete;
  MainWaiterScope& operator=(const MainWaiterScope&) = delete;

 private:
  GlobalLock* previous_;
};

}  // namespace

GlobalLock::GlobalLock(WorkerThread* queue) : queue_(queue) {}

GlobalLock& GlobalLock::Get() {
  static GlobalLock lock;
  return lock;
}

WorkerThread& GlobalLock::Queue() {
  return queue_ != nullptr ? *queue_ : WorkerThread::Get();
}

const GlobalLock::Holder* GlobalLock::FindHolderLocked(uint32_t thread) const {
  for (const Holder& holder : holders_) {
    if (holder.thread == thread) return &holder;
  }
  return nullptr;
}

bool GlobalLock::OtherWaitsLocked(const std::vector<uint32_t>& waiters, uint32_t thread) const {
  return std::any_of(waiters.begin(), waiters.end(), [thread](uint32_t t) { return t != thread; });
}

void GlobalLock::EraseOne(std::vector<uint32_t>& list, uint32_t thread) {
  auto it = std::find(list.begin(), list.end(), thread);
  if (it != list.end()) list.erase(it);
}

bool GlobalLock::CanGrantLocked(uint32_t thread, bool exclusive) const {
  if (holder_count_ == 0) return exclusive || !OtherWaitsLocked(pending_exclusive_, thread);
  if (FindHolderLocked(thread) != nullptr) return !exclusive || holders_.size() == 1;
  if (exclusive || exclusive_) return false;
  return !OtherWaitsLocked(pending_exclusive_, thread);
}

void GlobalLock::GrantLocked(uint32_t thread, bool exclusive) {
  ++holder_count_;
  if (exclusive) exclusive_ = true;
  for (Holder& holder : holders_) {
    if (holder.thread != thread) continue;
    ++holder.grants;
    return;
  }
  holders_.push_back(Holder{thread, 1});
}

bool GlobalLock::TryAcquire(uint32_t thread, bool exclusive) {
  std::lock_guard<std::mutex> lock(guard_);
  if (!CanGrantLocked(thread, exclusive)) return false;
  GrantLocked(thread, exclusive);
  return true;
}

bool GlobalLock::Acquire(uint32_t thread, bool exclusive) {
  {
    std::lock_guard<std::mutex> lock(guard_);
    if (CanGrantLocked(thread, exclusive)) {
      GrantLocked(thread, exclusive);
      return true;
    }
    bool raise = exclusive && FindHolderLocked(thread) != nullptr;
    if (raise && OtherWaitsLocked(raising_, thread)) {
      LogMessage(
          "GlobalLock: thread %u cannot raise its shared grant to exclusive while another "
          "holder waits to do the same",
          thread);
      return false;
    }
    if (exclusive) pending_exclusive_.push_back(thread);
    if (raise) raising_.push_back(thread);
  }
  if (IsMainThread()) {
    WaitOnMainThread(thread, exclusive);
  } else {
    WaitOnOtherThread(thread, exclusive);
  }
  return true;
}

// Grants a request that was counted as waiting, and forgets the wait.
bool GlobalLock::TryGrantAfterWait(uint32_t thread, bool exclusive) {
  if (!CanGrantLocked(thread, exclusive)) return false;
  GrantLocked(thread, exclusive);
  if (exclusive) {
    EraseOne(pending_exclusive_, thread);
    EraseOne(raising_, thread);
  }
  return true;
}

void GlobalLock::WaitOnOtherThread(uint32_t thread, bool exclusive) {
  std::unique_lock<std::mutex> lock(guard_);
  changed_.wait(lock, [&] { return CanGrantLocked(thread, exclusive); });
  TryGrantAfterWait(thread, exclusive);
  lock.unlock();
  // A finished exclusive wait may let shared requests in.
  if (exclusive) changed_.notify_all();
}

void GlobalLock::WaitOnMainThread(uint32_t thread, bool exclusive) {
  MainWaiterScope scope(this);
  uint64_t clock_start = Kiv::Time::Ms();
  bool trimmed = false;
  for (;;) {
    uint64_t wake;
    uint64_t interval;
    {
      std::lock_guard<std::mutex> lock(guard_);
      if (TryGrantAfterWait(thread, exclusive)) break;
      wake = main_wake_;
      interval = std::max<uint32_t>(trim_interval_ms_, 1);
    }
    if (Queue().RunOnePending(0)) continue;
    uint64_t waited = Kiv::Time::Ms() - clock_start;
    if (waited >= interval) {
      clock_start = Kiv::Time::Ms();
      TrimCaches(!trimmed);
      trimmed = true;
      continue;
    }
    std::unique_lock<std::mutex> lock(guard_);
    changed_.wait_for(lock, std::chrono::milliseconds(interval - waited),
                      [&] { return main_wake_ != wake || CanGrantLocked(thread, exclusive); });
  }
  if (exclusive) changed_.notify_all();
  if (trimmed) BlockingScreen::Get().Release();
}

// The long-wait step of the main thread. The string cache needs no
// collection here: interned strings are freed when their last holder lets go.
void GlobalLock::TrimCaches(bool first) {
  if (first) {
    BlockingScreen::Get().Show();
  } else {
    BlockingScreen::Get().Update();
  }
  Kiv::ResourceSystem* resources = Kiv::ResourceSystem::Current();
  if (resources != nullptr) resources->DumpUnusedResourcesFromCache();
}

bool GlobalLock::Release(uint32_t thread) {
  bool freed = false;
  {
    std::lock_guard<std::mutex> lock(guard_);
    auto it = std::find_if(holders_.begin(), holders_.end(),
                           [thread](const Holder& h) { return h.thread == thread; });
    if (it == holders_.end()) {
      LogMessage("GlobalLock: thread %u released the lock without holding it", thread);
      return false;
    }
    --holder_count_;
    if (--it->grants == 0) holders_.erase(it);
    if (holder_count_ == 0) exclusive_ = false;
    freed = holder_count_ == 0;
  }
  changed_.notify_all();
  return freed;
}

void GlobalLock::WakeMainThreadWaiter() {
  std::lock_guard<std::mutex> registry(MainWaiterMutex());
  GlobalLock* waiter = MainWaiter();
  if (waiter == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(waiter->guard_);
    ++waiter->main_wake_;
  }
  waiter->changed_.notify_all();
}

uint32_t GlobalLock::HolderCount() const {
  std::lock_guard<std::mutex> lock(guard_);
  return holder_count_;
}

bool GlobalLock::IsExclusive() const {
  std::lock_guard<std::mutex> lock(guard_);
  return exclusive_;
}

uint32_t GlobalLock::GrantsOf(uint32_t thread) const {
  std::lock_guard<std::mutex> lock(guard_);
  const Holder* holder = FindHolderLocked(thread);
  return holder != nullptr ? holder->grants : 0;
}

uint32_t GlobalLock::PendingExclusive() const {
  std::lock_guard<std::mutex> lock(guard_);
  return static_cast<uint32_t>(pending_exclusive_.size());
}

void GlobalLock::SetCacheTrimInterval(uint32_t ms) {
  std::lock_guard<std::mutex> lock(guard_);
  trim_interval_ms_ = ms;
}
