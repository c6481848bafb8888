// The finding of a validation stopped at its bound: the bound is given in
// seconds as the user set it in milliseconds, fractions kept.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ValidationBound.h"

namespace {

// The text "$tet_validation_time_limit" has in the interface text.
constexpr char kTimeLimitText[] =
    "Validating the asset in '$(file_path)' took longer than $(seconds) seconds, so it was "
    "stopped.";

TEST(ValidationBound, TheFindingGivesTheBoundInSecondsWithItsFraction) {
  const struct {
    long long ms;
    const char* seconds;
  } cases[] = {{60000, "60"}, {1500, "1.5"}, {250, "0.25"}, {86400000, "86400"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ms);
    ResultsLog log;
    AddValidationTimeLimit(log, KUID{100, 40, 0}, "/assets/crate",
                           std::chrono::milliseconds(c.ms), kTimeLimitText);
    const std::vector<ResultMessage> messages = log.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].severity, ResultsLog::kError);
    EXPECT_EQ(messages[0].text,
              std::string("Validating the asset in '/assets/crate' took longer than ") +
                  c.seconds + " seconds, so it was stopped.");
  }
}

}  // namespace
