// IsOwnerLocallyModified asks the daemon about a grantee's asset once for
// each VandruBaseSpec object, and keeps the answer in it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "RuntimeTestSupport.h"
#include "assetdb/client/FindAssetSpec.h"
#include "assetdb/client/VandruBaseSpec.h"
#include "foundation/spec/SpecRegistry.h"
#include "gsnative/GSOSecurityToken.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSContext.h"
#include "kiv/File.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WireBody.h"

namespace {

using W = VUTest::WireBody;

const KUID kGrantee{164, 9001, 0};

// The asset record of the grantee: installed and known, not locally modified.
FakeDaemon::Bytes UnmodifiedRecord() {
  W record;
  record.K(kGrantee).Str("").Str("").Str("");
  for (int bit = 0; bit < 18; ++bit) record.U8(bit == 0 || bit == 3 ? 1 : 0);
  record.U32(0).Str("local").Str("").U32(164).Str("scenery").Str("").U8(0).U8(0).U8(0);
  return record.U32(0).F32(3.4f).U64(0).U64(0).K(kNullKUID).U8(1);
}

class SecurityTokenOwnerTest : public VADClientTestBase {};

TEST_F(SecurityTokenOwnerTest, OwnerLocallyModifiedAsksTheDaemonOncePerAsset) {
  GSTest::PrintCapture print;
  ForgetRememberedSpecAnswers();
  InstallVandruBaseSpecMaker();
  VUTest::TempFolder root("TokenOwner");
  const std::string folder = root.Path() + "/assets/lamp";
  ASSERT_TRUE(Kiv::File::Md(folder));
  std::ofstream(folder + "/config.txt") << "kind \"scenery\"\nusername \"Lamp\"\n";

  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x1A, W().K(kGrantee)).Reply(W().K(kGrantee));
  daemon.ExpectRequest(0x17).Reply(W().PStr("").Str(folder + "/"));
  daemon.ExpectRequest(0x15, W().K(kGrantee).U32(8)).Reply(UnmodifiedRecord());
  daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  const Kiv::PString libraries("tokenownertest");
  Kiv::File::Subst(libraries, VU_SCRIPT_LIBRARIES_DIR);
  GSMachine machine;
  machine.Init();
  machine.AddLibraryFolder(libraries);
  ASSERT_TRUE(
      FindScriptClass(machine, "SecurityToken.gsl", "SecurityToken", &gSecurityTokenScriptClass));
  GSRuntime::GSContext context;
  GSOSecurityToken* token =
      GSOSecurityToken::Issue(&context, {NewTokenIssuerId(), KUID{1, 1, 0}}, kGrantee, nullptr);
  ASSERT_NE(token, nullptr);
  for (int call = 0; call < 2; ++call) {
    GSRuntime::GSStack stack;
    token->IsOwnerLocallyModified(stack);
    ASSERT_EQ(stack.Used(), 1u);
    EXPECT_EQ(*stack.Top(), GSRuntime::GSFromBool(false)) << call;
  }
  GSRuntime::GSObjectReference::Release(token->GetScriptInstance());
  gSecurityTokenScriptClass = nullptr;
  Kiv::File::Subst(libraries, Kiv::String());

  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(3000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  EXPECT_EQ(daemon.Requests().size(), 3u);  // 0x1A, 0x17 and one 0x15
  SpecRegistry::SetDirectSpecMaker(nullptr);
}

}  // namespace
