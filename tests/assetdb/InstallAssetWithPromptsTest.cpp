// InstallAssetWithPrompts against the scripted daemon when the daemon names
// an edit folder outside the content area: nothing there is removed or
// written, the install fails with its message, and the reservation handle
// is given back.
#include <gtest/gtest.h>

#include <filesystem>

#include "assetdb/client/InstallAssetWithPrompts.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "tests/support/InstallRoot.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WireBody.h"

namespace {

namespace fs = std::filesystem;
using Bytes = FakeDaemon::Bytes;

const KUID kAsset{100, 300, 0};
constexpr uint64_t kHandle = 42;

using W = VUTest::WireBody;

// A record of an asset that is installed locally (status bit 3) and known.
Bytes InstalledRecord() {
  W record;
  record.K(kAsset).Str("").Str("").Str("");
  for (int bit = 0; bit < 18; ++bit) record.U8(bit == 0 || bit == 3 ? 1 : 0);
  record.U32(0).Str("local").Str("").U32(100).Str("scenery").Str("").U8(0).U8(0).U8(0);
  return record.U32(0).F32(3.4f).U64(0).U64(0).K(kNullKUID).U8(1);
}

class InstallAssetWithPromptsTest : public VADClientTestBase {};

TEST_F(InstallAssetWithPromptsTest, EditFolderOutsideContentAreaIsNeverTouched) {
  VUTest::TempFolder outside("Outside");
  outside.Put("keep.txt", "precious");

  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x15).Reply(InstalledRecord());
  daemon.ExpectRequest(0x1E).Reply(W().U64(kHandle).PStr("editing").Str(outside.Path()));
  daemon.ExpectRequest(0x1F, W().U64(kHandle)).Reply({});
  daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  Soup entry;
  entry.Create();
  entry.SetNamedKUID(Kiv::PString("kuid"), kAsset);
  Soup files;
  files.Create();
  CoreRef data = ACSRawDataCore::CreateCopy("new", 3);
  files.GetChunk()->SetChild(Kiv::PString("keep.txt"),
                             files.GetChunk()->CreateChunk(SoupType::kRaw, std::move(data)));
  entry.SetNamedSoup(Kiv::PString("files"), files);

  ResultsLog log;
  bool commitFlag = true;
  EXPECT_TRUE(
      InstallAssetWithPrompts(entry, &log, kInstallBinaryConfig, &commitFlag, nullptr).IsNull());
  EXPECT_EQ(log.GetErrorCount(), 1u);

  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(3000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  EXPECT_EQ(outside.Listing(), "keep.txt");
  EXPECT_EQ(outside.Get("keep.txt"), "precious");
}

// A refused commit still gives the handle back (0x1F), and the install
// answers the null KUID.
TEST_F(InstallAssetWithPromptsTest, FailedCommitReleasesItsHandle) {
  VUTest::InstallRoot root("Install");
  ASSERT_TRUE(root.Made());
  ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(root.Path())));
  const std::string editFolder = root.UserData() + "/editing/kuid 100 300";
  fs::create_directories(editFolder);

  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x15).Reply({});
  daemon.ExpectRequest(0x23).Reply(W().U64(kHandle).K(kAsset).PStr("editing").Str(editFolder));
  daemon.ExpectRequest(0x22).Reply({0, 0});
  daemon.ExpectRequest(0x1F, W().U64(kHandle)).Reply({});
  daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  Soup entry;
  entry.Create();
  entry.SetNamedKUID(Kiv::PString("kuid"), kAsset);
  ResultsLog log;
  bool commitFlag = true;
  EXPECT_TRUE(
      InstallAssetWithPrompts(entry, &log, kInstallBinaryConfig, &commitFlag, nullptr).IsNull());
  EXPECT_TRUE(fs::exists(editFolder + "/config.chump"));

  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(3000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  // The content sets' folders were registered under this root: forget them,
  // so that a later test (or a repeat) registers its own.
  ResetFolderLayoutForTests();
}

}  // namespace
