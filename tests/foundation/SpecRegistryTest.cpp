#include "foundation/spec/SpecRegistry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "SpecTestSupport.h"

using spec_test::CountingSpec;
using spec_test::LogCapture;
using spec_test::SpecEvents;

namespace {

class SpecRegistryTest : public spec_test::SpecRegistryFixture {};

// A factory that makes CountingSpecs and counts itself.
class CountingFactory : public BXSpecFactory {
 public:
  CountingFactory(const char* factoryName, SpecEvents* events, int* deleted)
      : BXSpecFactory(Kiv::PString(factoryName)), events_(events), deleted_(deleted) {}
  ~CountingFactory() override {
    if (deleted_) ++*deleted_;
  }
  BrindlemoxSpec* Create(const KUID& asset, const Kiv::PString&, const Soup&, const Kiv::String&,
                         const Kiv::String&) override {
    ++made;
    return makeNothing ? nullptr : new CountingSpec(asset, events_);
  }
  int made = 0;
  bool makeNothing = false;

 private:
  SpecEvents* events_;
  int* deleted_;
};

Soup ConfigOfKind(const char* kind) {
  Soup config;
  config.SetNamedTag(Kiv::PString("kind"), kind);
  return config;
}

TEST_F(SpecRegistryTest, FindAnswersTheRegisteredSpecOfEachVersion) {
  SpecRef v0 = Make(KUID{12, 34, 0});
  SpecRef v1 = Make(KUID{12, 34, 1});
  EXPECT_EQ(registry_->SpecCount(), 2u);
  EXPECT_EQ(registry_->IndexedCount(), 2u);
  EXPECT_EQ(v0->useCount.Get(), 1);

  SpecRef found0 = registry_->Find(KUID{12, 34, 0});
  SpecRef found1 = registry_->Find(KUID{12, 34, 1});
  EXPECT_EQ(found0, v0);
  EXPECT_EQ(found1, v1);
  EXPECT_EQ(v0->useCount.Get(), 2) << "Find adds a use";
  EXPECT_FALSE(registry_->Find(KUID{12, 34, 2}));
}

TEST_F(SpecRegistryTest, SecondSpecOfOneKUIDGoesBesideTheFirst) {
  SpecRef first = Make(KUID{5, 6, 0});
  SpecRef second = Make(KUID{5, 6, 0});
  EXPECT_NE(first, second);
  EXPECT_EQ(registry_->Find(KUID{5, 6, 0}), first);

  // Once the first is gone, the second answers.
  first.Release();
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 1);
  EXPECT_EQ(registry_->Find(KUID{5, 6, 0}), second);
}

TEST_F(SpecRegistryTest, NullAndReservedKUIDsAreAnsweredWithoutTheLock) {
  // A factory that holds the registry lock (it runs inside CreateSpec) until
  // the main thread has had its answers.
  std::promise<void> inside;
  std::promise<void> finish;
  struct Blocking : BXSpecFactory {
    Blocking(std::promise<void>* in, std::shared_future<void> out)
        : BXSpecFactory(Kiv::PString("blocking")), inside(in), finish(std::move(out)) {}
    BrindlemoxSpec* Create(const KUID&, const Kiv::PString&, const Soup&, const Kiv::String&,
                           const Kiv::String&) override {
      inside->set_value();
      finish.wait_for(std::chrono::seconds(10));
      return nullptr;
    }
    std::promise<void>* inside;
    std::shared_future<void> finish;
  };
  registry_->AddFactory(new Blocking(&inside, finish.get_future().share()));
  std::thread holder([&] {
    SpecRef out;
    registry_->CreateSpec(out, KUID{1, 2, 0}, Kiv::PString(), ConfigOfKind("blocking"), "", "");
  });
  inside.get_future().wait();

  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(registry_->Find(kNullKUID));
  EXPECT_FALSE(registry_->Find(KUID{-1, -2, 127}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  finish.set_value();
  holder.join();
}

TEST_F(SpecRegistryTest, FactoryIsChosenByKindThenDefaultThenDirectMaker) {
  int deleted = 0;
  auto* track = new CountingFactory("track", &events_, &deleted);
  registry_->AddFactory(track);
  registry_->AddFactory(track);
  EXPECT_EQ(registry_->FactoryCount(), 1u) << "a factory is added once";

  SpecRef out;
  registry_->CreateSpec(out, KUID{1, 1, 0}, Kiv::PString(), ConfigOfKind("track"), "/p", "f");
  EXPECT_EQ(track->made, 1);
  EXPECT_NE(dynamic_cast<CountingSpec*>(out.Get()), nullptr);

  CountingFactory fallback("fallback", &events_, nullptr);
  registry_->SetDefaultFactory(&fallback);
  registry_->CreateSpec(out, KUID{1, 2, 0}, Kiv::PString(), ConfigOfKind("scenery"), "/p", "f");
  EXPECT_EQ(fallback.made, 1) << "no factory of that kind: the default one";
  registry_->SetDefaultFactory(nullptr);

  static SpecEvents directEvents;
  SpecRegistry::SetDirectSpecMaker(
      [](const KUID& asset, const Kiv::PString&, const Soup&, const Kiv::String&,
         const Kiv::String&) -> BrindlemoxSpec* { return new CountingSpec(asset, &directEvents); });
  registry_->CreateSpec(out, KUID{1, 3, 0}, Kiv::PString(), ConfigOfKind("scenery"), "/p", "f");
  EXPECT_NE(dynamic_cast<CountingSpec*>(out.Get()), nullptr);

  SpecRegistry::SetDirectSpecMaker(nullptr);
  registry_->CreateSpec(out, KUID{1, 4, 0}, Kiv::PString(), Soup(), "/p", "f");
  ASSERT_TRUE(out);
  EXPECT_EQ(dynamic_cast<CountingSpec*>(out.Get()), nullptr) << "without a maker: a plain spec";
  EXPECT_EQ(out->parentFolder, "/p");
  EXPECT_EQ(out->folderName, "f");
  EXPECT_EQ(out->flags, 0);

  track->makeNothing = true;
  registry_->CreateSpec(out, KUID{1, 5, 0}, Kiv::PString(), ConfigOfKind("track"), "/p", "f");
  EXPECT_FALSE(out) << "a factory that makes nothing gives a null handle";
  EXPECT_EQ(registry_->SpecCount(), 4u);

  registry_->ReleaseAll();
  EXPECT_EQ(deleted, 1) << "ReleaseAll deletes the factories it owns";
  EXPECT_EQ(registry_->FactoryCount(), 0u);
  EXPECT_EQ(registry_->SpecCount(), 0u);
  EXPECT_EQ(directEvents.destroyed, 1);
}

TEST_F(SpecRegistryTest, DestroyedFactoryLeavesTheRegistry) {
  auto* owned = new CountingFactory("track", &events_, nullptr);
  registry_->AddFactory(owned);
  registry_->SetDefaultFactory(owned);
  delete owned;
  EXPECT_EQ(registry_->FactoryCount(), 0u);
  EXPECT_EQ(registry_->DefaultFactory(), nullptr);

  SpecRef out;
  registry_->CreateSpec(out, KUID{2, 2, 0}, Kiv::PString(), ConfigOfKind("track"), "", "");
  EXPECT_TRUE(out) << "no factory left: a plain spec";
}

TEST_F(SpecRegistryTest, DiscardActivatesOnceAndKeepsValidSpecsRegistered) {
  SpecRef spec = Make(KUID{3, 4, 0});
  registry_->Discard(spec.Get());
  registry_->Discard(spec.Get());
  EXPECT_EQ(events_.activated, 1);
  EXPECT_EQ(events_.validated, 1);
  EXPECT_EQ(spec->activated, 1);
  EXPECT_EQ(spec->activatedBySlot, 1);
  EXPECT_TRUE(spec->flags & kSpecValid);
  EXPECT_EQ(registry_->Find(KUID{3, 4, 0}), spec);
  EXPECT_EQ(registry_->RetiredCount(), 0u);
}

TEST_F(SpecRegistryTest, SpecOfNullKUIDIsRetiredAndFreedByTheNextPurge) {
  SpecRef spec = Make(kNullKUID);
  EXPECT_TRUE(spec->flags & kSpecNullKUID);
  registry_->Discard(spec.Get());
  EXPECT_FALSE(spec->flags & kSpecValid);
  EXPECT_EQ(events_.validated, 0);
  EXPECT_EQ(registry_->SpecCount(), 0u);
  EXPECT_EQ(registry_->IndexedCount(), 0u);
  EXPECT_EQ(registry_->RetiredCount(), 1u);

  registry_->Validate(spec.Get());
  EXPECT_EQ(registry_->RetiredCount(), 1u) << "retired once only";

  spec.Release();
  LogCapture log;
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 1);
  EXPECT_EQ(registry_->RetiredCount(), 0u);
  EXPECT_TRUE(log.Take().empty()) << "nothing left, nothing reported";
}

TEST_F(SpecRegistryTest, HeldRetiredSpecSurvivesReleaseAllAndIsReported) {
  source_.names["<kuid:8:9>"] = "Broken Shed";
  SpecRef spec = Make(KUID{8, 9, 0}, /*valid=*/false);
  registry_->Discard(spec.Get());
  ASSERT_EQ(registry_->RetiredCount(), 1u);

  LogCapture log;
  registry_->ReleaseAll();
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 0) << "a retired spec in use is not freed";
  EXPECT_EQ(spec->asset, (KUID{8, 9, 0}));  // Still alive: ASan would catch a use after free.
  std::vector<std::string> lines = log.Take();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Leaked specs:");
  EXPECT_EQ(lines[1], "  (   1) - <kuid:8:9> \"Broken Shed\"");

  spec.Release();
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 1);
  EXPECT_EQ(registry_->RetiredCount(), 0u);
  EXPECT_TRUE(log.Take().empty());
}

TEST_F(SpecRegistryTest, HeldRegisteredSpecIsReportedAndKeptAcrossPurges) {
  source_.names["<kuid2:12:34:2>"] = "Red Barn";
  SpecRef held = Make(KUID{12, 34, 2});
  SpecRef second = held;
  SpecRef released = Make(KUID{12, 35, 0});
  released.Release();

  LogCapture log;
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 1);
  EXPECT_FALSE(registry_->Find(KUID{12, 35, 0})) << "a freed spec leaves the table too";
  EXPECT_EQ(registry_->IndexedCount(), 1u);
  std::vector<std::string> lines = log.Take();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Leaked specs:");
  EXPECT_EQ(lines[1], "  (   2) - <kuid2:12:34:2> \"Red Barn\"");

  EXPECT_EQ(registry_->Find(KUID{12, 34, 2}), held) << "a held spec stays registered";
  second.Release();
  held.Release();
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 2);
  EXPECT_FALSE(registry_->Find(KUID{12, 34, 2}));
  EXPECT_TRUE(log.Take().empty());
}

TEST_F(SpecRegistryTest, ReleaseAllRepeatsUntilSpecsFreedBySpecsAreGone) {
  SpecRef inner = Make(KUID{20, 1, 0});
  SpecRef outer = Make(KUID{20, 2, 0});
  static_cast<CountingSpec*>(outer.Get())->held = inner;
  inner.Release();
  outer.Release();
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 2);
  EXPECT_EQ(registry_->SpecCount(), 0u);
}

TEST_F(SpecRegistryTest, PurgeClearsSafePointers) {
  SpecRef spec = Make(KUID{30, 1, 0});
  SafePointer<BrindlemoxSpec> first(spec.Get());
  SafePointer<BrindlemoxSpec> second = first;
  EXPECT_EQ(spec->SafePointerCount(), 2u);
  spec.Release();
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 1);
  EXPECT_FALSE(first);
  EXPECT_FALSE(second);
}

TEST_F(SpecRegistryTest, SpecHeldAtShutDownIsReportedKeptAndFreedByTheNextRegistry) {
  source_.names["<kuid:40:1>"] = "Old Mill";
  SpecRef held = Make(KUID{40, 1, 0});
  {
    LogCapture log;
    registry_.reset();
    std::vector<std::string> lines = log.Take();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "  (   1) - <kuid:40:1> \"Old Mill\"");
  }
  EXPECT_EQ(SpecRegistry::Instance(), nullptr);
  EXPECT_EQ(events_.destroyed, 0);
  EXPECT_EQ(held->asset, (KUID{40, 1, 0}));
  EXPECT_EQ(SpecRegistry::OrphanCount(), 1u);

  registry_ = std::make_unique<SpecRegistry>();
  EXPECT_EQ(SpecRegistry::Instance(), registry_.get());
  EXPECT_EQ(SpecRegistry::OrphanCount(), 0u);
  EXPECT_EQ(registry_->RetiredCount(), 1u);
  EXPECT_FALSE(registry_->Find(KUID{40, 1, 0})) << "an orphan is not registered again";
  held.Release();
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 1);
}

TEST_F(SpecRegistryTest, HandlesCountEveryCopyAssignAndMove) {
  SpecRef a = Make(KUID{50, 1, 0});
  BrindlemoxSpec* spec = a.Get();
  {
    SpecRef b = a;
    SpecRef c;
    c = b;
    EXPECT_EQ(spec->useCount.Get(), 3);
    SpecRef& alias = c;
    c = alias;
    c.Assign(spec);
    EXPECT_EQ(spec->useCount.Get(), 3) << "assigning the same spec keeps the count";
    SpecRef d = std::move(c);
    EXPECT_FALSE(c);
    EXPECT_EQ(spec->useCount.Get(), 3);
    d = nullptr;
    EXPECT_EQ(spec->useCount.Get(), 2);
  }
  EXPECT_EQ(spec->useCount.Get(), 1);
  spec->releaseStamp = 77;
  a.Release();
  EXPECT_FALSE(a);
  EXPECT_EQ(registry_->SpecCount(), 1u);
  EXPECT_EQ(spec->releaseStamp.load(), SpecReleaseStamp()) << "a release writes the current stamp";
  registry_->ReleaseAll();
  EXPECT_EQ(events_.destroyed, 1);
}

TEST_F(SpecRegistryTest, HandlesOnOtherThreadsNeverSeeAFreedSpec) {
  const KUID id{60, 1, 0};
  LogCapture log;  // Specs held by the other threads are reported.
  SpecRef keep = Make(KUID{60, 2, 0});
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      while (!stop) {
        SpecRef found = registry_->Find(id);
        if (found) {
          EXPECT_EQ(found->asset, id);
        }
        SpecRef copy = keep;
        EXPECT_EQ(copy->asset, (KUID{60, 2, 0}));
      }
    });
  }
  for (int i = 0; i < 300; ++i) {
    SpecRef made = Make(id);
    registry_->ReleaseAll();
    made.Release();
    registry_->ReleaseAll();
  }
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(keep->useCount.Get(), 1);
  keep.Release();
  registry_->ReleaseAll();
  EXPECT_EQ(registry_->SpecCount(), 0u);
  EXPECT_EQ(events_.destroyed, 301);
}

}  // namespace
