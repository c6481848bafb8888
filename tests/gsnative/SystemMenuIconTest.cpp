// The system-menu icon requests of script libraries reach the host with
// the arguments of the native call; nothing here shows an icon.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NativeCallFrame.h"
#include "RuntimeTestSupport.h"
#include "gsnative/SystemMenuIconHost.h"
#include "gsruntime/GSStack.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;

struct Request {
  std::string what;
  KUID icon;
  std::string tooltip;
  std::string message;
  bool flag = false;
  int32_t count = 0;
  bool operator==(const Request&) const = default;
};

class RecordingHost : public SystemMenuIconHost {
 public:
  void SetSystemMenuIcon(GSObject*, const KUID& icon, const Kiv::PString& tooltip,
                         const Kiv::PString& message, bool flag) override {
    requests.push_back({"set", icon, tooltip.Str(), message.Str(), flag, 0});
  }
  void BlinkSystemMenuIcon(GSObject*, int32_t count) override {
    requests.push_back({"blink", kNullKUID, "", "", false, count});
  }
  void ShowSystemMenuIconMenu(GSObject*, GSStack& stack) override {
    requests.push_back({"show", kNullKUID, "", "", false, GSInt(stack.CurrentFrame() != nullptr)});
  }
  std::vector<Request> requests;
};

TEST(SystemMenuIconTest, RequestsReachTheHostWithTheirArguments) {
  GSTest::PrintCapture print;
  // A native call's frame: the library, then (3, "tip", null, false).
  GSString* tip = GSString::Create("tip", nullptr);
  GSTest::NativeCallFrame frame(0, {GSFromInt(3), tip->GetScriptInstance(), 0, GSFromBool(false)});
  GSStack& stack = frame.Stack();

  const KUID icon{7, 8, 0};
  RecordingHost host;
  ForwardAddSystemMenuIcon(&host, nullptr, icon, stack, false);
  ForwardAddSystemMenuIcon(&host, nullptr, icon, stack, true);
  ForwardRemoveSystemMenuIcon(&host, nullptr);
  ForwardBlinkSystemMenuIcon(&host, nullptr, stack);
  ForwardShowSystemMenuIconMenu(&host, nullptr, stack);
  const std::vector<Request> expected = {
      {"set", icon, "tip", "", true, 0},  // A null text arrives empty, with no error.
      {"set", icon, "tip", "", false, 0},     {"set", kNullKUID, "", "", false, 0},
      {"blink", kNullKUID, "", "", false, 3}, {"show", kNullKUID, "", "", false, 1},
  };
  EXPECT_EQ(host.requests, expected);
  EXPECT_TRUE(print.lines.empty());

  // Without a host the requests go nowhere.
  ForwardAddSystemMenuIcon(nullptr, nullptr, icon, stack, true);
  ForwardRemoveSystemMenuIcon(nullptr, nullptr);
  EXPECT_EQ(SystemMenuIconHost::HostOf(nullptr), nullptr);
  GSObjectReference::Release(tip->GetScriptInstance());
}

}  // namespace
