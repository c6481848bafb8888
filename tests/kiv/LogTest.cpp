#include "kiv/Log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/CapturedLog.h"

namespace {

// Keeps the line ends: their handling is what is checked.
class Capture : public VUTest::CapturedLog {
 public:
  Capture() : VUTest::CapturedLog(true) {}
};

}  // namespace

TEST(KivLog, EachLineEndsInExactlyOneAddedNewline) {
  Capture capture;
  Kiv::Log::Printf("value %d", 12);
  Kiv::Log::Printf("already ended\n");
  Kiv::Log::Write("");
  Kiv::Log::Printf("%s", std::string(3000, 'z').c_str());
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "value 12\n");
  EXPECT_EQ(lines[1], "already ended\n");
  EXPECT_EQ(lines[2], "\n");
  EXPECT_EQ(lines[3], std::string(3000, 'z') + "\n");
}

TEST(KivLog, ConcurrentLinesArriveWholeAndEmptySinkRestoresStderr) {
  {
    Capture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([t] {
        for (int i = 0; i < 200; ++i) Kiv::Log::Printf("thread %d line %d", t, i);
      });
    }
    for (auto& thread : threads) thread.join();
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) {
      EXPECT_EQ(line.rfind("thread ", 0), 0u);
      EXPECT_EQ(line.find('\n'), line.size() - 1);
    }
  }
  Kiv::Log::Sink none = Kiv::Log::SetSink(nullptr);
  EXPECT_FALSE(none);
  testing::internal::CaptureStderr();
  Kiv::Log::Printf("to stderr");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\n");
}
