#include "kiv/basics/ProcessorFeatures.h"

#include <gtest/gtest.h>

namespace {

// The compiler's own probe (run before main() in this test program) is the
// reference: the first-use answer must agree with it on this processor.
TEST(ProcessorFeatures, AvxAnswerAgreesWithTheCompilersProbe) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  __builtin_cpu_init();
  EXPECT_EQ(Kiv::ProcessorHasAvx(), __builtin_cpu_supports("avx") != 0);
  EXPECT_EQ(Kiv::ProcessorHasAvx2(), __builtin_cpu_supports("avx2") != 0);
#else
  EXPECT_FALSE(Kiv::ProcessorHasAvx());
  EXPECT_FALSE(Kiv::ProcessorHasAvx2());
#endif
  EXPECT_EQ(Kiv::ProcessorHasAvx(), Kiv::ProcessorHasAvx());
}

}  // namespace
