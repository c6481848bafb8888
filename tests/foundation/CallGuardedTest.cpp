#include "foundation/threads/CallGuarded.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <stdexcept>

#include "TaskTestSupport.h"
#include "foundation/threads/TCXCallbackCIntPtr.h"
#include "foundation/threads/TCXCallbackCPPVoidPtr.h"

using task_test::FunctionTask;

namespace {

int Twice(intptr_t value) {
  return static_cast<int>(value * 2);
}

struct Target {
  void* seen = nullptr;
  void Take(void* argument) { seen = argument; }
};

TEST(CallGuarded, CallsTheCallbackWithItsArgument) {
  TCXCallbackCIntPtr twice(Twice);
  EXPECT_EQ(CallGuarded(&twice, reinterpret_cast<void*>(intptr_t{21})), 42);
  Target target;
  TCXCallbackCPPVoidPtr<Target> take(&target, &Target::Take);
  int marker = 0;
  EXPECT_EQ(CallGuarded(&take, &marker), 0);
  EXPECT_EQ(target.seen, &marker);
  EXPECT_EQ(RunGuardedCall(&take), 0);
  EXPECT_EQ(target.seen, nullptr);
  EXPECT_EQ(CallGuarded(nullptr, nullptr), -1);
  TCXCallbackCIntPtr none(nullptr);
  EXPECT_EQ(CallGuarded(&none, nullptr), -1);
}

class CallGuardedDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(CallGuardedDeathTest, FaultInAGuardedCallEndsTheProcessWithStatus156) {
  EXPECT_EXIT(
      {
        SetExceptionGuardFlag(true);
        FunctionTask fault([] { raise(SIGSEGV); });
        CallGuarded(&fault, nullptr);
        _exit(0);
      },
      ::testing::ExitedWithCode(156), "");
}

TEST_F(CallGuardedDeathTest, EscapingExceptionEndsTheProcessWithStatus156) {
  EXPECT_EXIT(
      {
        SetExceptionGuardFlag(true);
        FunctionTask thrower([] { throw std::runtime_error("escaped"); });
        CallGuarded(&thrower, nullptr);
        _exit(0);
      },
      ::testing::ExitedWithCode(156), "");
}

TEST_F(CallGuardedDeathTest, WithTheGuardOffExceptionsPassThrough) {
  SetExceptionGuardFlag(false);
  FunctionTask thrower([] { throw std::runtime_error("plain"); });
  EXPECT_THROW(CallGuarded(&thrower, nullptr), std::runtime_error);
}

}  // namespace
