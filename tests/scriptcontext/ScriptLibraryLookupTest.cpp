// VandruScriptContext::GetScriptLibrary against a daemon holding one
// library asset (kind "test-library", made into a TestLibrarySpec by a
// factory of the test), with the client opened in this process.
#include <gtest/gtest.h>

#include <atomic>

#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/spec/SpecRegistry.h"
#include "gsnative/GSOLibrary.h"
#include "gsnative/GSOLibrarySpec.h"
#include "gsnative/VandruScriptContext.h"
#include "tests/scriptcontext/TestAssetStore.h"
#include "tests/support/DaemonProcesses.h"
#include "tests/support/LogCapture.h"

namespace {

const KUID kLibrary{1, 300, 0};

// How the test libraries behave, and what happened to them.
struct LibraryLog {
  int made = 0;
  int inits = 0;
  int failuresLeft = 0;  // the next this many inits fail
};
LibraryLog gLibraries;

class TestLibrary : public GSOLibrary {
 public:
  using GSOLibrary::GSOLibrary;
  void CompleteInit() override {
    ++gLibraries.inits;
    if (gLibraries.failuresLeft == 0) return;
    --gLibraries.failuresLeft;
    SetScriptFailure();
  }
};

class TestLibrarySpec : public GSOLibrarySpec {
 public:
  using GSOLibrarySpec::GSOLibrarySpec;
  GSOLibrary* CreateLibrary(VandruScriptContext& context) override {
    ++gLibraries.made;
    return new TestLibrary(&context, SpecRef(this));
  }
};

class TestLibraryFactory : public BXSpecFactory {
 public:
  TestLibraryFactory() : BXSpecFactory(Kiv::PString("test-library")) {}
  BrindlemoxSpec* Create(const KUID& asset, const Kiv::PString& contentSet, const Soup& config,
                         const Kiv::String& parent, const Kiv::String& folder) override {
    return new TestLibrarySpec(asset, contentSet, config, parent, folder);
  }
};

class ScriptLibraryLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    gLibraries = LibraryLog();
    ASSERT_TRUE(root_.Made());
    const std::string program = root_.PlaceProgram(VADDAEMON_EXE);
    {
      AssetStore store(StoreOptions(root_));
      ASSERT_EQ(store.Open().code, StoreCode::kOk);
      InstallTestAssets(store, root_, {"kuid <kuid:1:300>\nkind \"test-library\"\n"});
    }
    const pid_t daemon = daemons_.Start(program);
    ASSERT_NE(daemon, 0) << daemons_.Output(0);
    port_ = daemons_.WaitForPort(daemon, 0);
    NetStartup();
    // The handshake names the daemon's own index.
    DetermineInstallPath(Kiv::File::Path(root_.Path()));
    VADClient::SetPortSource([](const Kiv::File::Path&) { return port_.load(); });
    VADClient::SetDaemonStarter([] { return false; });
    ASSERT_TRUE(VADOpenDatabase(VADClientOptions()));
    SpecRegistry::Instance()->AddFactory(new TestLibraryFactory);
  }

  void TearDown() override {
    VADClient::Close();
    VADClient::SetPortSource(nullptr);
    VADClient::SetDaemonStarter(nullptr);
    ResetFolderLayoutForTests();
  }

  VUTest::LogCapture log_;
  VUTest::InstallRoot root_{"LibraryLookup"};
  VUTest::DaemonProcesses daemons_{root_};
  static inline std::atomic<uint16_t> port_{0};
};

TEST_F(ScriptLibraryLookup, OneLibraryPerContextEvenWhileTheListIsLocked) {
  VandruScriptContext context;
  GSOLibrary* first = context.GetScriptLibrary(kLibrary);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(context.GetScriptLibrary(kLibrary), first);
  context.LockLibraries();
  EXPECT_EQ(context.GetScriptLibrary(kLibrary), first);
  EXPECT_EQ(gLibraries.made, 1);
  EXPECT_EQ(gLibraries.inits, 3);  // every answer has its initialisation completed

  VandruScriptContext other;
  other.LockLibraries();
  EXPECT_EQ(other.GetScriptLibrary(kLibrary), nullptr);
  EXPECT_TRUE(log_.Has("VandruScriptContext::GetScriptLibrary> attempted while list is locked"));
  other.UnlockLibraries();
  GSOLibrary* second = other.GetScriptLibrary(kLibrary);
  EXPECT_NE(second, nullptr);
  EXPECT_NE(second, first);
}

TEST_F(ScriptLibraryLookup, FailedInitialisationIsDroppedAndTriedAgain) {
  VandruScriptContext context;
  gLibraries.failuresLeft = 1;
  EXPECT_EQ(context.GetScriptLibrary(kLibrary), nullptr);
  EXPECT_TRUE(
      log_.Has("VandruScriptContext::GetScriptLibrary> script failure on Library <kuid:1:300>"));
  EXPECT_EQ(context.Libraries().GetItem(0), nullptr);
  EXPECT_NE(context.GetScriptLibrary(kLibrary), nullptr);
  EXPECT_EQ(gLibraries.made, 2);
}

TEST_F(ScriptLibraryLookup, NullAndUnknownKUIDsGiveNone) {
  VandruScriptContext context;
  EXPECT_EQ(context.GetScriptLibrary(kNullKUID), nullptr);
  EXPECT_FALSE(log_.Has("GetScriptLibrary"));
  EXPECT_EQ(context.GetScriptLibrary(KUID{1, 301, 4}), nullptr);
  EXPECT_TRUE(log_.Has(
      "VandruScriptContext::GetScriptLibrary> unable to find Library <kuid2:1:301:4>"));
}

}  // namespace
