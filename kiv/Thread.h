// Threads of the program's own.
//
// A Kiv::Thread runs `start(argument)` on a new thread and keeps the 32-bit
// result for Join. Created suspended, the thread waits until Resume before
// calling the start function. StartedOk tells whether the system gave a
// thread at all; when it did not, Join answers 0 at once and IsDone holds.
//
// Join waits for the start function to return and answers its result (again
// on later calls). Join resumes a suspended thread first, so it never waits
// forever on one that was not resumed. The destructor joins; a thread
// destroyed while still suspended ends without calling its start function.
// A thread may destroy its own Thread object: it is then detached.
//
// GetCurrentId answers a 32-bit id of the calling thread: stable for the
// thread's life, never 0, and not shared with any other thread of the
// process (ids are handed out in order on a thread's first call).
#pragma once

#include <cstdint>
#include <memory>

namespace Kiv {

class Thread {
 public:
  using StartFunction = uint32_t (*)(void* argument);

  Thread(StartFunction start, void* argument, bool suspended = false);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool StartedOk() const;
  // Lets a suspended thread run; no effect on a running one.
  void Resume();
  uint32_t Join();
  // True once the start function has returned (or the thread never started).
  bool IsDone() const;
  // Accepted and ignored: every thread runs at the system's normal priority.
  bool SetPriority(int priority);

  static uint32_t GetCurrentId();

 private:
  struct State;
  static void Run(State& state);
  std::shared_ptr<State> state_;
};

}  // namespace Kiv
