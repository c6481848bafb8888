// Game objects in a context without a router, the only kind the tool
// itself makes: they stay unregistered, cannot start or wait for threads,
// and their message natives do nothing beyond their checks.
#include <gtest/gtest.h>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"

namespace {

using namespace GSRuntime;

constexpr const char* kScript = R"(
include "gs.gs"
class Main isclass GameObject {
  thread void Idle() { }
  public int Quiet() {
    PostMessage(me, "a", "b", 1.0);
    ClearMessages("a", "");
    AddHandler(me, "a", "b", "Missing");
    Sniff(me, "a", "", true);
    Sleep(1.0);
    return GetId();
  }
  public void Start() { Idle(); }
  public void Wait() { wait() { on "a", "": ; } }
  public void Send() { SendMessage(me, "a", "b"); }
};
)";

class GameObjectTest : public GSTest::RuntimeFixture {
 protected:
  void SetUp() override {
    RuntimeFixture::SetUp();
    GSLibrary* library = LoadWithStandardLibrary(kScript, "main");
    ASSERT_NE(library, nullptr);
    cls_ = library->FindClass("Main");
    ASSERT_NE(cls_, nullptr);
    object_ = new GSGameObject;
    ASSERT_TRUE(object_->AttachScriptInstance(cls_, context_.get()));
  }
  void TearDown() override {
    GSObjectReference::Release(object_->GetScriptInstance());
    context_.reset();
    SetCurrentContext(nullptr);
    EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
    RuntimeFixture::TearDown();
  }

  bool Invoke(const char* signature, GSValue* result) {
    return GSObject::InvokeFunction(cls_, object_->GetScriptInstance(), signature, {}, result);
  }

  GSClass* cls_ = nullptr;
  GSGameObject* object_ = nullptr;
  std::unique_ptr<GSContext> context_ = std::make_unique<GSContext>();
};

TEST_F(GameObjectTest, WithoutARouterNothingIsRegisteredSentOrStarted) {
  GSValue id = 0;
  ASSERT_TRUE(Invoke("$int@Main::Quiet()", &id));
  EXPECT_EQ(GSInt(id), -1);
  EXPECT_EQ(print_->Count("router is null for GameObject::Sniff()"), 1u);
  EXPECT_EQ(print_->Count("Could not find handler"), 0u);  // AddHandler is silent
  EXPECT_EQ(object_->HandlerCount(), 0u);

  EXPECT_FALSE(Invoke("$void@Main::Start()", nullptr));
  EXPECT_FALSE(Invoke("$void@Main::Wait()", nullptr));
  EXPECT_EQ(print_->Count("Thread Exception: ER_ThreadError"), 2u);
  EXPECT_EQ(object_->ThreadCount(), 0u);
  EXPECT_FALSE(GSObject::CallFunction(context_.get(), cls_, object_->GetScriptInstance(),
                                      "$void@Main::Idle()", {}, nullptr));

  // Host calls run on the machine's own thread, a static one.
  EXPECT_FALSE(Invoke("$void@Main::Send()", nullptr));
  EXPECT_EQ(print_->Count("Static Thread cannot call SendMessage"), 1u);
}

}  // namespace
