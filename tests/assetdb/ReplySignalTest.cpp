// The event a request waits on for its reply.
#include "assetdb/client/ReplySignal.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Two threads hand the turn to each other many times; a wake-up that got
// lost would leave both asleep.
TEST(ReplySignal, EveryTurnWakesTheOtherThread) {
  constexpr int kRounds = 20000;
  ReplySignal ping;
  ReplySignal pong;
  int seen = 0;
  std::thread other([&] {
    for (int i = 0; i < kRounds; ++i) {
      ping.Wait();
      ping.Reset();
      ++seen;
      pong.Set();
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    ping.Set();
    pong.Wait();
    pong.Reset();
    EXPECT_EQ(seen, i + 1);
  }
  other.join();
}

}  // namespace
