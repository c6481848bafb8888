#include "kiv/Thread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace Kiv {

// Shared by the Thread object and its thread, so that a detached thread can
// still finish with it.
struct Thread::State {
  StartFunction start = nullptr;
  void* argument = nullptr;
  std::mutex mutex;
  std::condition_variable resumed_cv;
  bool resumed = false;
  bool cancelled = false;
  std::atomic<bool> done{false};
  uint32_t result = 0;
  std::mutex join_mutex;  // Serialises Join and the destructor.
  std::thread thread;
  bool started = false;
};

// The thread's body: waits while suspended, then runs the start function.
// A thread cancelled before it was resumed ends without running it.
void Thread::Run(State& state) {
  {
    std::unique_lock<std::mutex> lock(state.mutex);
    state.resumed_cv.wait(lock, [&] { return state.resumed || state.cancelled; });
    if (state.cancelled) {
      state.done.store(true, std::memory_order_release);
      return;
    }
  }
  state.result = state.start ? state.start(state.argument) : 0;
  state.done.store(true, std::memory_order_release);
}

Thread::Thread(StartFunction start, void* argument, bool suspended) {
  try {
    state_ = std::make_shared<State>();
  } catch (const std::bad_alloc&) {
    return;
  }
  state_->start = start;
  state_->argument = argument;
  state_->resumed = !suspended;
  try {
    std::shared_ptr<State> shared = state_;
    state_->thread = std::thread([shared] { Run(*shared); });
    state_->started = true;
  } catch (const std::system_error&) {
    state_->done = true;
  } catch (const std::bad_alloc&) {
    state_->done = true;
  }
}

Thread::~Thread() {
  if (!state_ || !state_->started) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->resumed) state_->cancelled = true;
    state_->resumed_cv.notify_all();
  }
  std::lock_guard<std::mutex> lock(state_->join_mutex);
  if (!state_->thread.joinable()) return;
  if (state_->thread.get_id() == std::this_thread::get_id()) {
    state_->thread.detach();
    return;
  }
  state_->thread.join();
}

bool Thread::StartedOk() const {
  return state_ && state_->started;
}

void Thread::Resume() {
  if (!StartedOk()) return;
  // Once resumed, the thread may destroy this object: touch only the state.
  std::shared_ptr<State> state = state_;
  std::lock_guard<std::mutex> lock(state->mutex);
  state->resumed = true;
  state->resumed_cv.notify_all();
}

uint32_t Thread::Join() {
  if (!StartedOk()) return 0;
  Resume();
  std::lock_guard<std::mutex> lock(state_->join_mutex);
  if (state_->thread.joinable()) {
    // A thread cannot wait for itself; it answers what is known so far.
    if (state_->thread.get_id() == std::this_thread::get_id()) return 0;
    state_->thread.join();
  }
  return state_->result;
}

bool Thread::IsDone() const {
  return !state_ || state_->done.load(std::memory_order_acquire);
}

bool Thread::SetPriority(int /*priority*/) {
  return StartedOk();
}

uint32_t Thread::GetCurrentId() {
  static std::atomic<uint32_t> next{1};
  thread_local uint32_t id = 0;
  while (id == 0) id = next.fetch_add(1, std::memory_order_relaxed);
  return id;
}

}  // namespace Kiv
