#include "vaddaemon/WorkPool.h"

#include <chrono>
#include <system_error>

WorkPool::WorkPool(uint32_t maxWorkers) : maxWorkers_(maxWorkers == 0 ? 1 : maxWorkers) {}

WorkPool::~WorkPool() {
  while (!Stop(60000)) {
  }
}

bool WorkPool::Submit(std::function<void()> task) {
  std::unique_lock<std::mutex> hold(lock_);
  slotFree_.wait(hold, [this] { return stopping_ || busy_ < maxWorkers_; });
  if (stopping_) return false;
  ++busy_;
  queue_.push_back(std::move(task));
  // Idle workers that were signalled may not have taken their task yet:
  // a thread is added whenever the queued tasks outnumber the idle workers,
  // so that no task waits behind one that blocks.
  if (queue_.size() > idle_ && threads_.size() < maxWorkers_) {
    try {
      threads_.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
      // Without a new thread the task waits for a running worker.
      if (threads_.empty()) {
        queue_.pop_back();
        --busy_;
        return false;
      }
    }
  }
  // Signalled after the lock is let go, so the worker it wakes does not
  // wait for it at once; the pool outlives every Submit.
  hold.unlock();
  workReady_.notify_one();
  return true;
}

void WorkPool::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    ++idle_;
    workReady_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
    --idle_;
    if (queue_.empty()) return;  // Stopping, and nothing left to run.
    std::function<void()> task = std::move(queue_.front());
    queue_.pop_front();
    hold.unlock();
    task();
    task = nullptr;
    hold.lock();
    --busy_;
    slotFree_.notify_all();
  }
}

bool WorkPool::Stop(uint32_t waitMs) {
  std::vector<std::thread> threads;
  {
    std::unique_lock<std::mutex> hold(lock_);
    if (joined_) return true;
    stopping_ = true;
    workReady_.notify_all();
    slotFree_.notify_all();
    if (!slotFree_.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return busy_ == 0; }))
      return false;
    joined_ = true;
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) thread.join();
  return true;
}

uint32_t WorkPool::Busy() const {
  std::lock_guard<std::mutex> hold(lock_);
  return busy_;
}
