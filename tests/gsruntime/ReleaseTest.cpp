// Releasing script objects: chains far longer than any nesting of calls
// the C++ stack holds are freed, whichever way their first object goes,
// and objects begin their release in the order they always have.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"

namespace {

using namespace GSRuntime;

const char kClasses[] = R"(class Node {
  public Node first;
  public Node second;
  public Node[] items;
};
)";

// An object that notes its name when it is destroyed.
class Noted : public GSObject {
 public:
  Noted(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {}
  ~Noted() override { log_->push_back(name_); }

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

class ReleaseTest : public GSTest::RuntimeFixture {
 protected:
  void SetUp() override {
    RuntimeFixture::SetUp();
    Build(kClasses, "nodes");
    GSLibrary* library = Load("nodes.gsl");
    ASSERT_NE(library, nullptr);
    node_ = library->FindClass("Node");
    ASSERT_NE(node_, nullptr);
    liveBefore_ = GSScriptInstance::LiveCount();
  }
  void TearDown() override {
    context_.reset();
    SetCurrentContext(nullptr);
    EXPECT_EQ(GSScriptInstance::LiveCount(), liveBefore_);
    RuntimeFixture::TearDown();
  }

  // The slot of the field `name` of Node.
  uint32_t Field(std::string_view name) const {
    for (uint32_t i = 0; i < node_->members.count; ++i)
      if (node_->library->Strings()[node_->members.At(i, 0)] == name)
        return node_->members.At(i, 4);
    ADD_FAILURE() << "no field " << name;
    return 0;
  }

  // `object` attached to a new Node in the test's context.
  GSObject* Attach(GSObject* object) {
    EXPECT_TRUE(object->AttachScriptInstance(node_, context_.get()));
    return object;
  }

  // Stores `target` (a count of its own added) into `field` of `holder`.
  void Link(GSObject* holder, uint32_t field, GSObject* target) {
    GSScriptInstance* instance = GSScriptInstance::FromRef(holder->GetScriptInstance());
    ASSERT_TRUE(
        GSStoreReference(instance, &instance->Slots()[field], target->GetScriptInstance(), true));
  }

  // A chain of `length` Nodes, each holding the next in `first`, that
  // only the returned first object's own count holds.
  GSObject* Chain(int length) {
    const uint32_t first = Field("first");
    GSObject* head = Attach(new GSObject);
    GSObject* last = head;
    for (int i = 1; i < length; ++i) {
      GSObject* next = Attach(new GSObject);
      Link(last, first, next);
      GSObjectReference::Release(next->GetScriptInstance());  // the chain holds it now
      last = next;
    }
    return head;
  }

  GSClass* node_ = nullptr;
  int64_t liveBefore_ = 0;
  std::unique_ptr<GSContext> context_ = std::make_unique<GSContext>();
};

TEST_F(ReleaseTest, ALongChainIsFreedWhenItsFirstObjectIsReleasedOrDeleted) {
  constexpr int kLength = 1000000;
  GSObject* released = Chain(kLength);
  EXPECT_EQ(GSScriptInstance::LiveCount(), liveBefore_ + kLength);
  GSObjectReference::Release(released->GetScriptInstance());
  EXPECT_EQ(GSScriptInstance::LiveCount(), liveBefore_);

  // A host that deletes the object holding a chain frees it too.
  GSObject* deleted = Chain(kLength / 5);
  delete deleted;
  EXPECT_EQ(GSScriptInstance::LiveCount(), liveBefore_);
}

TEST_F(ReleaseTest, ObjectsBeginTheirReleaseDepthFirstInFieldAndElementOrder) {
  // root {first: a {first: c, second: d}, second: b {items: [e, f]}}
  std::vector<std::string> log;
  auto make = [&](const char* name) { return Attach(new Noted(&log, name)); };
  GSObject* root = make("root");
  GSObject* a = make("a");
  GSObject* b = make("b");
  GSObject* c = make("c");
  GSObject* d = make("d");
  GSObject* e = make("e");
  GSObject* f = make("f");
  Link(root, Field("first"), a);
  Link(root, Field("second"), b);
  Link(a, Field("first"), c);
  Link(a, Field("second"), d);
  GSArray* array = GSArray::Create(context_.get(), true);
  ASSERT_NE(array, nullptr);
  ASSERT_TRUE(GSArray::SetElement(*array, 0, e->GetScriptInstance(), true, nullptr));
  ASSERT_TRUE(GSArray::SetElement(*array, 1, f->GetScriptInstance(), true, nullptr));
  GSScriptInstance* holder = GSScriptInstance::FromRef(b->GetScriptInstance());
  ASSERT_TRUE(GSStoreReference(holder, &holder->Slots()[Field("items")], array->GetScriptInstance(),
                               false));
  for (GSObject* held : {a, b, c, d, e, f}) GSObjectReference::Release(held->GetScriptInstance());
  EXPECT_TRUE(log.empty());

  GSObjectReference::Release(root->GetScriptInstance());
  EXPECT_EQ(log, (std::vector<std::string>{"root", "a", "c", "d", "b", "e", "f"}));
}

}  // namespace
