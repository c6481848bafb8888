// Helpers for the tests of the worker queue, the global lock and call chains.
#pragma once

#include <atomic>
#include <functional>
#include <utility>

#include "foundation/threads/TCXCallbackBase.h"
#include "kiv/Time.h"
#include "tests/support/WaitUntil.h"

namespace task_test {

// A task that runs a function and counts its deletion.
class FunctionTask : public TCXCallbackBase {
 public:
  explicit FunctionTask(std::function<void()> body, std::atomic<int>* deleted = nullptr)
      : body_(std::move(body)), deleted_(deleted) {}
  ~FunctionTask() override {
    if (deleted_ != nullptr) ++*deleted_;
  }
  int Invoke(void* /*argument*/) override {
    body_();
    return 0;
  }

 private:
  std::function<void()> body_;
  std::atomic<int>* deleted_;
};

inline FunctionTask* Task(std::function<void()> body, std::atomic<int>* deleted = nullptr) {
  return new FunctionTask(std::move(body), deleted);
}

// Polls `done` for up to five seconds, so that a failure shows as a failed
// check rather than a hung test.
template <class Predicate>
bool Eventually(Predicate done) {
  return VUTest::WaitUntil(done, 5000, 1);
}

}  // namespace task_test
