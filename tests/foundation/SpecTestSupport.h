// Shared pieces of the spec registry tests: a spec class that counts what
// happens to it, a fake asset database that names assets, a log capture and
// a fixture that owns one registry per test.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/spec/SpecAssetSource.h"
#include "foundation/spec/SpecRegistry.h"
#include "tests/support/CapturedLog.h"

namespace spec_test {

struct SpecEvents {
  std::atomic<int> destroyed{0};
  std::atomic<int> activated{0};
  std::atomic<int> validated{0};
};

class CountingSpec : public BrindlemoxSpec {
 public:
  CountingSpec(const KUID& id, SpecEvents* events, bool valid = true)
      : BrindlemoxSpec(id, Kiv::PString(), "/assets", "folder"), events_(events), valid_(valid) {}
  ~CountingSpec() override { ++events_->destroyed; }
  void Activate() override {
    BrindlemoxSpec::Activate();
    ++events_->activated;
  }
  bool IsValid() override { return valid_; }
  void OnValidated() override { ++events_->validated; }

  // A handle that this spec lets go only when it is destroyed.
  SpecRef held;

 private:
  SpecEvents* events_;
  bool valid_;
};

class FakeAssetSource : public SpecAssetSource {
 public:
  Kiv::String GetAssetName(const KUID& asset) override {
    auto it = names.find(KUIDToTagString(asset).Str());
    return it == names.end() ? Kiv::String() : it->second;
  }
  std::map<std::string, std::string> names;
};

using LogCapture = VUTest::CapturedLog;

class SpecRegistryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = std::make_unique<SpecRegistry>();
    SetSpecAssetSource(&source_);
  }
  void TearDown() override {
    registry_.reset();
    SetSpecAssetSource(nullptr);
    SpecRegistry::SetDirectSpecMaker(nullptr);
    EXPECT_EQ(SpecRegistry::OrphanCount(), 0u) << "a test left specs held past its registry";
  }

  // A spec registered as CreateSpec would register it, through a default
  // factory that makes CountingSpecs.
  SpecRef Make(const KUID& id, bool valid = true) {
    struct Factory : BXSpecFactory {
      Factory(SpecEvents* e, bool v) : BXSpecFactory(Kiv::PString()), events(e), valid(v) {}
      BrindlemoxSpec* Create(const KUID& asset, const Kiv::PString&, const Soup&,
                             const Kiv::String&, const Kiv::String&) override {
        return new CountingSpec(asset, events, valid);
      }
      SpecEvents* events;
      bool valid;
    } factory(&events_, valid);
    registry_->SetDefaultFactory(&factory);
    SpecRef out;
    registry_->CreateSpec(out, id, Kiv::PString(), Soup(), "/assets", "folder");
    return out;  // The factory's destructor clears the default slot.
  }

  SpecEvents events_;
  FakeAssetSource source_;
  std::unique_ptr<SpecRegistry> registry_;
};

}  // namespace spec_test
