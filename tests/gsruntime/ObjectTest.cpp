// Script instances in contexts: construction order and failure, views of
// ancestor blocks, static objects, host calls, and the teardown of a
// context with its pool.
#include <gtest/gtest.h>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;

const char kClasses[] = R"(class Base {
  public int count = 1;
  string label = "base";
  public int Size() { return count; }
};

class Shape isclass Base {
  public float w = 1.5;
  public int Size() { return count * 2; }
};

class Demo isclass Shape {
  Demo next;
  string text = "demo";
  public int Size() { return inherited() + 1; }
  public int Twice(int n) { return n * 2; }
};

static class Registry {
  public int hits = 3;
};

class GSObject { public native string GetGSClassName(); };
class Thing isclass GSObject { };
)";

class ObjectTest : public GSTest::RuntimeFixture {
 protected:
  void SetUp() override {
    RuntimeFixture::SetUp();
    Build(kClasses, "classes");
    library_ = Load("classes.gsl");
    ASSERT_NE(library_, nullptr);
  }
  void TearDown() override {
    context_.reset();
    SetCurrentContext(nullptr);
    EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
    RuntimeFixture::TearDown();
  }

  GSClass* Class(const char* name) { return library_->FindClass(name); }

  // A new object of `name` in the test's context; null when it cannot be
  // constructed.
  GSObject* Make(const char* name) {
    GSObject* object = new GSObject;
    if (object->AttachScriptInstance(Class(name), context_.get())) return object;
    delete object;
    return nullptr;
  }

  GSLibrary* library_ = nullptr;
  std::unique_ptr<GSContext> context_ = std::make_unique<GSContext>();
};

TEST_F(ObjectTest, ConstructorsRunFromTheLastAncestorToTheClass) {
  GSTest::FakeInterpreter fake;
  GSObject* demo = Make("Demo");
  ASSERT_NE(demo, nullptr);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"::Base()", "::Shape()", "::Demo()"}));
  GSScriptInstance* instance = GSScriptInstance::FromRef(demo->GetScriptInstance());
  GSClass* base = Class("Base");
  const GSValue baseView = GSScriptInstance::GetClassData(instance, base);
  ASSERT_NE(baseView, 0u);
  EXPECT_NE(baseView, demo->GetScriptInstance());
  EXPECT_EQ(GSScriptInstance::FromRef(baseView), instance);  // the block header leads back
  GSObjectReference::AddRef(baseView);
  EXPECT_EQ(instance->count, 2);
  GSObjectReference::Release(demo->GetScriptInstance());
  EXPECT_EQ(instance->count, 1);
  EXPECT_EQ(GSScriptInstance::GetClassData(instance, Class("Registry")), 0u);
  EXPECT_TRUE(Class("Demo")->InheritsFrom("Base"));
  EXPECT_FALSE(Class("Base")->InheritsFrom("Demo"));
  GSObjectReference::Release(baseView);  // the last count: the object goes
}

TEST_F(ObjectTest, FailingConstructorLeavesTheObjectDetached) {
  GSTest::FakeInterpreter fake;
  fake.results["::Shape()"] = ER_Exception;
  GSObject object;
  EXPECT_FALSE(object.AttachScriptInstance(Class("Demo"), context_.get()));
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"::Base()", "::Shape()"}));
  EXPECT_EQ(object.GetScriptInstance(), 0u);
  EXPECT_EQ(object.Context(), nullptr);
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
  EXPECT_TRUE(machine_->Thread()->Stack().Empty());  // the failed run left no frame
}

TEST_F(ObjectTest, AnObjectKeepsItsFirstInstance) {
  GSTest::FakeInterpreter fake;
  GSObject* demo = Make("Demo");
  ASSERT_NE(demo, nullptr);
  const GSValue first = demo->GetScriptInstance();
  EXPECT_FALSE(demo->AttachScriptInstance(Class("Base"), context_.get()));
  EXPECT_EQ(demo->GetScriptInstance(), first);
  EXPECT_FALSE(demo->AttachScriptInstance(nullptr, context_.get()));  // detaches
  EXPECT_EQ(demo->GetScriptInstance(), 0u);
  delete demo;
}

TEST_F(ObjectTest, StaticObjectIsMadeOncePerContext) {
  GSTest::FakeInterpreter fake;
  GSClass* registry = Class("Registry");
  EXPECT_EQ(GSContext::ConstructStaticClass(registry), nullptr);  // no current context
  SetCurrentContext(context_.get());
  GSObject* first = GSContext::ConstructStaticClass(registry);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GSContext::ConstructStaticClass(registry), first);
  EXPECT_EQ(GSContext::ConstructStaticClass(Class("Base")), nullptr);  // not static
  GSContext other;
  SetCurrentContext(&other);
  GSObject* second = GSContext::ConstructStaticClass(registry);
  EXPECT_NE(second, first);
  EXPECT_EQ(second->Context(), &other);
  SetCurrentContext(nullptr);
}

TEST_F(ObjectTest, StaticClassThatCannotBeBuiltIsReported) {
  SetCurrentContext(context_.get());
  {
    GSTest::FakeInterpreter fake;
    fake.results["::Registry()"] = ER_Exception;
    EXPECT_EQ(GSContext::ConstructStaticClass(Class("Registry")), nullptr);
  }
  EXPECT_NE(GSContext::ConstructStaticClass(Class("Registry")),
            nullptr);  // the interpreter runs the initialiser: made on the next use
  EXPECT_EQ(print_->lines,
            (std::vector<std::string>(1, "Could not construct static class Registry for context")));
}

TEST_F(ObjectTest, HostCallsDispatchThroughTheMethodTable) {
  GSTest::FakeInterpreter fake;
  GSObject* demo = Make("Demo");
  ASSERT_NE(demo, nullptr);
  fake.calls.clear();
  const GSValue baseView = GSScriptInstance::GetClassData(
      GSScriptInstance::FromRef(demo->GetScriptInstance()), Class("Base"));
  GSValue result = 99;
  EXPECT_TRUE(GSObject::InvokeFunction(Class("Base"), baseView, "$int@Base::Size()", {}, &result));
  EXPECT_EQ(result, 0u);
  const GSValue two[] = {GSFromInt(2)};
  EXPECT_TRUE(GSObject::InvokeFunction(Class("Demo"), demo->GetScriptInstance(),
                                       "$int@Demo::Twice(int)", two, nullptr));
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"$int@Demo::Size()", "$int@Demo::Twice(int)"}));
  EXPECT_FALSE(GSObject::InvokeFunction(Class("Demo"), demo->GetScriptInstance(),
                                        "$int@Demo::Twice(int)", {}, nullptr));
  EXPECT_FALSE(GSObject::InvokeFunction(Class("Demo"), baseView, "$int@Demo::Twice(int)", two,
                                        nullptr));  // not a Demo view
  EXPECT_FALSE(GSObject::CallFunction(context_.get(), Class("Demo"), demo->GetScriptInstance(),
                                      "$int@Demo::Twice(int)", two,
                                      nullptr));  // the context has no router
  EXPECT_EQ(fake.calls.size(), 2u);
  EXPECT_EQ(GSScriptInstance::FromRef(demo->GetScriptInstance())->count, 1);
  EXPECT_TRUE(machine_->Thread()->Stack().Empty());
  GSObjectReference::Release(demo->GetScriptInstance());
}

TEST_F(ObjectTest, GetGSClassNameNamesTheScriptClass) {
  GSTest::FakeInterpreter fake;
  GSObject* thing = Make("Thing");
  ASSERT_NE(thing, nullptr);
  const GSFunction* fn = Class("GSObject")->FindOwnFunction("$string@GSObject::GetGSClassName()");
  ASSERT_NE(fn->native, nullptr);
  SetCurrentContext(context_.get());
  GSStack stack;
  const GSValue me = GSScriptInstance::GetClassData(
      GSScriptInstance::FromRef(thing->GetScriptInstance()), Class("GSObject"));
  GSObjectReference::AddRef(me);  // the frame's count
  ASSERT_TRUE(stack.Push(me));
  ASSERT_TRUE(stack.PushFrame(*fn, 0));
  EXPECT_FALSE(fn->native->Call(nullptr, stack));
  EXPECT_TRUE(fn->native->Call(thing, stack));
  ASSERT_TRUE(stack.ReturnValue(true));
  const GSValue name = *stack.Top();
  EXPECT_EQ(GSString::FromRef(name)->text, "Thing");
  EXPECT_EQ(GSContextOfRef(name), context_.get());
  GSObjectReference::Release(name);
  GSObjectReference::Release(thing->GetScriptInstance());
}

TEST_F(ObjectTest, ContextTeardownFreesCyclesWhateverTheirCounts) {
  GSTest::FakeInterpreter fake;
  GSClass* demo = Class("Demo");
  uint32_t nextSlot = 0;
  for (uint32_t i = 0; i < demo->members.count; ++i)
    if (std::string_view(library_->Strings()[demo->members.At(i, 0)]) == "next")
      nextSlot = demo->members.At(i, 4);
  ASSERT_NE(nextSlot, 0u);
  std::vector<GSObject*> ring;
  for (uint32_t i = 0; i < TrackedObjectPool::kSlotsPerBlock + 1; ++i) ring.push_back(Make("Demo"));
  EXPECT_EQ(context_->Pool().BlockCount(), 2u);  // the 1023rd instance opens a second block
  for (size_t i = 0; i < ring.size(); ++i) {
    GSScriptInstance* instance = GSScriptInstance::FromRef(ring[i]->GetScriptInstance());
    const GSValue target = ring[(i + 1) % ring.size()]->GetScriptInstance();
    EXPECT_TRUE(GSStoreReference(instance, &instance->Slots()[nextSlot], target, true));
  }
  for (GSObject* object : ring)
    GSObjectReference::Release(object->GetScriptInstance());  // the ring keeps them alive
  EXPECT_EQ(GSScriptInstance::LiveCount(), static_cast<int64_t>(ring.size()));
  ASSERT_TRUE(GSContext::AddLive(context_.get()));
  EXPECT_EQ(GSContext::Live(), std::vector<GSContext*>{context_.get()});
  context_.reset();
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
  EXPECT_TRUE(GSContext::Live().empty());
}

}  // namespace
