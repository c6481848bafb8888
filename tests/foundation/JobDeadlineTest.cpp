#include "foundation/threads/JobDeadline.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using std::chrono::milliseconds;

TEST(JobDeadline, OnlyABoundedJobWhoseTimeIsUpHasPassed) {
  EXPECT_FALSE(JobDeadlinePassed()) << "no job, no deadline";
  {
    JobDeadlineScope spent(milliseconds(0));
    EXPECT_TRUE(JobDeadlinePassed());
    EXPECT_TRUE(spent.Stopped());
  }
  EXPECT_FALSE(JobDeadlinePassed()) << "cleared with its scope";
  {
    JobDeadlineScope negative(milliseconds(-5));
    EXPECT_TRUE(JobDeadlinePassed());
  }
  {
    JobDeadlineScope hour(milliseconds(3600 * 1000));
    EXPECT_FALSE(JobDeadlinePassed());
    EXPECT_FALSE(hour.Stopped());
  }
  EXPECT_FALSE(JobDeadlinePassed());
}

}  // namespace
