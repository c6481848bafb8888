#include "kiv/ReferenceCount.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using Kiv::Ref;

namespace {

// Counts its own deletions in a counter owned by the test.
class Tracked : public Kiv::ReferenceCount {
 public:
  explicit Tracked(int* deletions) : deletions_(deletions) {}
  ~Tracked() override { ++*deletions_; }
  int value = 0;

 private:
  int* deletions_;
};

class Derived : public Tracked {
 public:
  using Tracked::Tracked;
};

}  // namespace

TEST(KivRef, HandlesCountUsesAndDeleteAtZero) {
  int deletions = 0;
  auto* object = new Tracked(&deletions);
  EXPECT_EQ(object->UseCount(), 0);
  {
    Ref<Tracked> a(object);
    EXPECT_EQ(object->UseCount(), 1);
    Ref<Tracked> b(a);
    Ref<Tracked> c;
    c = b;
    EXPECT_EQ(object->UseCount(), 3);
    Ref<Tracked> moved(std::move(c));
    EXPECT_FALSE(c);  // A moved-from handle is empty.
    EXPECT_EQ(object->UseCount(), 3);
    b.reset();
    EXPECT_EQ(object->UseCount(), 2);
    a->value = 5;
    EXPECT_EQ((*moved).value, 5);
    Ref<Derived> derived(new Derived(&deletions));
    Ref<Tracked> base = derived;  // A base handle shares the derived one's count.
    EXPECT_EQ(base->UseCount(), 2);
    EXPECT_EQ(deletions, 0);
  }
  EXPECT_EQ(deletions, 2);
}

TEST(KivRef, AssigningHandleToItselfKeepsObjectAlive) {
  int deletions = 0;
  Ref<Tracked> a(new Tracked(&deletions));
  Ref<Tracked>& alias = a;
  a = alias;
  EXPECT_EQ(deletions, 0);
  EXPECT_EQ(a->UseCount(), 1);
  a.reset(a.get());
  EXPECT_EQ(deletions, 0);
  EXPECT_EQ(a->UseCount(), 1);
  a = std::move(alias);
  EXPECT_EQ(deletions, 0);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->UseCount(), 1);

  Ref<Tracked> other(new Tracked(&deletions));
  a = other;  // The old object goes once its last handle moves on.
  EXPECT_EQ(deletions, 1);
  EXPECT_EQ(a, other);
  EXPECT_EQ(other->UseCount(), 2);
}

TEST(KivRef, ReleaseRefAndSafeDelete) {
  int deletions = 0;
  Kiv::ReleaseRef<Tracked>(nullptr);
  auto* object = new Tracked(&deletions);
  object->AddReference();
  EXPECT_EQ(object->AddReference(), 2);
  Kiv::ReleaseRef(object);
  EXPECT_EQ(deletions, 0);
  Kiv::ReleaseRef(object);
  EXPECT_EQ(deletions, 1);

  // An object nobody holds goes when released.
  Kiv::ReleaseRef(new Tracked(&deletions));
  EXPECT_EQ(deletions, 2);

  auto* plain = new Tracked(&deletions);
  Kiv::SafeDelete(plain);
  EXPECT_EQ(plain, nullptr);
  EXPECT_EQ(deletions, 3);
  Kiv::SafeDelete(plain);
  EXPECT_EQ(deletions, 3);

  // A copy is a new object with no references of its own.
  Tracked original(&deletions);
  original.AddReference();
  Tracked copy(original);
  EXPECT_EQ(copy.UseCount(), 0);
}

TEST(KivRef, CountingIsExactAcrossThreads) {
  Kiv::ProtectedLong counter;
  int deletions = 0;
  Ref<Tracked> shared(new Tracked(&deletions));
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        counter.Increment();
        Ref<Tracked> copy(shared);
        Ref<Tracked> another;
        another = copy;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter.Get(), 80000);
  EXPECT_EQ(counter.Decrement(), 79999);
  EXPECT_EQ(shared->UseCount(), 1);
  EXPECT_EQ(deletions, 0);
  shared.reset();
  EXPECT_EQ(deletions, 1);
}
