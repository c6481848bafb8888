// Each case, default, break and continue goes to its nearest switch or loop
// when they nest: the compiler finds them among the statements it is inside
// (not by searching label lists), which compiled code must not tell apart.
#include <gtest/gtest.h>

#include <vector>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSThread.h"

namespace {

using namespace GSRuntime;

constexpr const char* kSource = R"(
class Main {
  public int Run(int a, int b) {
    int r = 0;
    switch (a) {
      case 1:
        switch (b) {
          case 1: r = 11; break;
          case 2: r = 12;
          default: r = r + 100;
        }
        r = r + 1000;
        break;
      case 2:
        while (b > 0) {
          b--;
          if (b == 2) continue;
          if (b == 0) break;
          r = r + 1;
        }
        break;
      case 3:
        { case 4: r = r + 40; }
        break;
      default:
        r = -1;
    }
    return r;
  }
};
)";

class LabelTargets : public GSTest::ScriptObjectFixture {};

TEST_F(LabelTargets, EachLabelAndJumpGoesToItsNearestStatement) {
  BuildObject(kSource, "labels", "Main");
  if (HasFatalFailure()) return;
  const GSFunction* run = cls_->FindOwnFunction("$int@Main::Run(int,int)");
  ASSERT_NE(run, nullptr);
  const struct {
    int a, b, result;
  } cases[] = {
      {1, 1, 1011},              // the inner break leaves the inner switch only
      {1, 2, 1112},              // an inner case falls into the inner default
      {1, 5, 1100}, {2, 5, 3},   // continue and break of the loop inside a case
      {3, 0, 40},   {4, 0, 40},  // a case inside a block belongs to the switch around it
      {9, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << ", " << c.b);
    GSValue result = 0;
    const std::vector<GSValue> args{GSFromInt(c.a), GSFromInt(c.b)};
    ASSERT_EQ(GSRunFunction(*machine_->Thread(), *run, object_.GetScriptInstance(), args, &result),
              ER_Done);
    EXPECT_EQ(GSInt(result), c.result);
  }
}

}  // namespace
