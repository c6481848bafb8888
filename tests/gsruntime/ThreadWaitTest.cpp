// A thread that runs the same wait again: the entries it kept from the last
// run must follow its router's type numbers.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"

namespace {

using namespace GSRuntime;

constexpr const char* kScript = R"(
include "gs.gs"
class Waiter isclass GameObject {
  int received = 0;
  public int Received() { return received; }
  thread void Listen() {
    int i = 0;
    while (i < 10) {
      wait() { on "Go", "": received++; }
      Sleep(0.5);
      i++;
    }
  }
  public void Start() { Listen(); }
};
)";

class ThreadWaitTest : public GSTest::RuntimeFixture {
 protected:
  void SetUp() override {
    RuntimeFixture::SetUp();
    std::ifstream in(VU_SOURCE_DIR "/gsnative/libraries/gs.gs", std::ios::binary);
    std::stringstream gs;
    gs << in.rdbuf();
    Build(gs.str(), "gs");
    Build(kScript, "waiter");
    Announce("gs.gsl");
    GSLibrary* library = Load("waiter.gsl");
    ASSERT_NE(library, nullptr);
    cls_ = library->FindClass("Waiter");
    ASSERT_NE(cls_, nullptr);
    context_->InstallRouter(new GSRouter);
    waiter_ = new GSGameObject;
    ASSERT_TRUE(waiter_->AttachScriptInstance(cls_, context_.get()));
    ASSERT_TRUE(Router().AddNode(waiter_));
    ASSERT_TRUE(Router().AddNode(&sender_));
  }
  void TearDown() override {
    GSObjectReference::Release(waiter_->GetScriptInstance());
    Router().RemoveNode(&sender_);
    context_.reset();
    SetCurrentContext(nullptr);
    EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
    RuntimeFixture::TearDown();
  }

  GSRouter& Router() { return *context_->Router(); }
  // Sends "Go" from the sender to the waiter and lets the waiter run.
  void SendGo(float elapsed) {
    Router().Send(sender_.PostMessage("Go", "", waiter_->Id(), 0));
    waiter_->Update(elapsed);
  }
  int Received() {
    GSValue value = 0;
    if (!GSObject::CallFunction(context_.get(), cls_, waiter_->GetScriptInstance(),
                                "$int@Waiter::Received()", {}, &value))
      return -1;
    return GSInt(value);
  }

  GSClass* cls_ = nullptr;
  GSGameObject* waiter_ = nullptr;
  GSNode sender_;
  std::unique_ptr<GSContext> context_ = std::make_unique<GSContext>();
};

TEST_F(ThreadWaitTest, AWaitRunAgainFollowsTheTypesOfItsRouterAfterShutdown) {
  ASSERT_TRUE(GSObject::CallFunction(context_.get(), cls_, waiter_->GetScriptInstance(),
                                     "$void@Waiter::Start()", {}, nullptr));
  waiter_->Update(0.1f);  // runs to the wait
  SendGo(0.1f);           // received, then asleep
  SendGo(0.1f);           // asleep: not waiting for it
  EXPECT_EQ(Received(), 1);
  // The router starts over: "Go" gets another number than before.
  Router().Done();
  Router().SetEnabled(true);
  Router().InternMajorType("Other");
  ASSERT_TRUE(Router().AddNode(waiter_));
  ASSERT_TRUE(Router().AddNode(&sender_));
  waiter_->Update(1.0f);  // wakes and runs the same wait again
  SendGo(0.1f);
  EXPECT_EQ(Received(), 2);
  waiter_->Update(1.0f);
  SendGo(0.1f);  // the kept entries, under the new numbers
  EXPECT_EQ(Received(), 3);
}

}  // namespace
