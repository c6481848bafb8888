// A thread that runs the same wait again: the entries it kept from the last
// run must follow its router's type numbers.
#include <memory>

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

using ThreadWaitTest = GSTest::RuntimeFixture;

TEST_F(ThreadWaitTest, AWaitRunAgainFollowsTheTypesOfItsRouterAfterShutdown) {
  GSLibrary* library = LoadWithStandardLibrary(kScript, "waiter");
  ASSERT_NE(library, nullptr);
  GSClass* cls = library->FindClass("Waiter");
  ASSERT_NE(cls, nullptr);
  GSNode sender;
  auto context = std::make_unique<GSContext>();
  context->InstallRouter(new GSRouter);
  GSRouter& router = *context->Router();
  GSGameObject* waiter = new GSGameObject;  // the router deletes it
  ASSERT_TRUE(waiter->AttachScriptInstance(cls, context.get()));
  const GSValue instance = waiter->GetScriptInstance();
  const auto join = [&] { return router.AddNode(waiter) && router.AddNode(&sender); };
  // "Go" from the sender; the waiter runs; its count of them.
  const auto sendGo = [&](float elapsed) {
    router.Send(sender.PostMessage("Go", "", waiter->Id(), 0));
    waiter->Update(elapsed);
    GSValue value = 0;
    GSObject::CallFunction(context.get(), cls, instance, "$int@Waiter::Received()", {}, &value);
    return GSInt(value);
  };
  ASSERT_TRUE(join());
  ASSERT_TRUE(GSObject::CallFunction(context.get(), cls, instance, "$void@Waiter::Start()", {},
                                     nullptr));
  waiter->Update(0.1f);  // runs to the wait
  EXPECT_EQ(sendGo(0.1f), 1);
  EXPECT_EQ(sendGo(0.1f), 1);  // asleep: not waiting for it
  // The router starts over: "Go" gets another number than before.
  router.Done();
  router.SetEnabled(true);
  router.InternMajorType("Other");
  ASSERT_TRUE(join());
  waiter->Update(1.0f);  // wakes and runs the same wait again
  EXPECT_EQ(sendGo(0.1f), 2);
  waiter->Update(1.0f);
  EXPECT_EQ(sendGo(0.1f), 3);  // the kept entries, under the new numbers
  GSObjectReference::Release(instance);
  router.RemoveNode(&sender);
  context.reset();
  SetCurrentContext(nullptr);
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

}  // namespace
