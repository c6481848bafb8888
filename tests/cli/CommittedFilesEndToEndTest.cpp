// What the index says after a commit, end to end: what the committed files
// say. A name removed in the edit copy is gone from the index (also after a
// repair and a restart); a configuration that names no KUID is refused by
// the commit with its cause, the edit kept open, and a repair that meets
// one among the installed files says so rather than blame another KUID.
#include <gtest/gtest.h>

#include <string>

#include "tests/cli/ToolFixture.h"

namespace {

const char kOk[] = "OK (0 Errors, 0 Warnings)\n";

class CommittedFiles : public ToolFixture {
 protected:
  // Installs the crate `kuid` and opens it for edit; its edit folder.
  static std::string InstallAndEdit(const std::string& kuid) {
    const ToolResult installed = InstallScenery(kuid, "", {{"notes.txt", "a crate\n"}});
    EXPECT_EQ(installed.status, 0) << installed.out << installed.err;
    const ToolResult opened = Run({"edit", kuid});
    const std::string head = "+ " + kuid + " : ";
    EXPECT_EQ(opened.out.rfind(head, 0), 0u) << opened.out;
    return opened.out.substr(head.size(), opened.out.find('\n') - head.size());
  }

  // The edit copy's configuration less its line starting with `tag`.
  static void DropLine(const std::string& folder, const std::string& tag) {
    std::string config = "\n" + ReadFile(folder + "/config.txt");
    const size_t at = config.find("\n" + tag + " ");
    ASSERT_NE(at, std::string::npos) << config;
    config.erase(at + 1, config.find('\n', at + 1) - at);
    ASSERT_TRUE(WriteFile(folder + "/config.txt", config.substr(1)));
  }
};

TEST_F(CommittedFiles, ARemovedNameIsGoneFromTheIndex) {
  const std::string kuid = "<kuid:0:610>";
  const std::string folder = InstallAndEdit(kuid);
  ASSERT_NO_FATAL_FAILURE(DropLine(folder, "username"));
  const ToolResult committed = Run({"commit", kuid});
  ASSERT_EQ(committed.status, 0) << committed.out << committed.err;
  const std::string nameless = "+ " + kuid + " : eIadLmf : BA : \n" + kOk;
  EXPECT_EQ(Run({"status", kuid}).out, nameless);
  EXPECT_EQ(Run({"repairdatabase"}).status, 0);
  StopDaemon();
  EXPECT_EQ(Run({"status", kuid}).out, nameless);
}

TEST_F(CommittedFiles, AConfigurationWithoutKuidIsRefusedAndTheEditKept) {
  const std::string kuid = "<kuid:0:611>";
  const std::string folder = InstallAndEdit(kuid);
  ASSERT_NO_FATAL_FAILURE(DropLine(folder, "kuid"));
  const ToolResult committed = Run({"commit", kuid});
  EXPECT_EQ(committed.status, 255) << committed.out;
  EXPECT_NE(committed.out.find("names no \"kuid\": add the line \"kuid " + kuid + "\""),
            std::string::npos)
      << committed.out;
  // Still open for edit, the edited configuration where it was.
  EXPECT_EQ(Run({"status", kuid}).out, "+ " + kuid + " : EIadlmf : BA : Crate\n" + kOk);
  EXPECT_EQ(ReadFile(folder + "/config.txt").find("kuid "), std::string::npos);

  // A configuration without one among the installed files (edited by hand).
  const std::string installed = UserDataPath() + "/local/kuid 0 611";
  ASSERT_NO_FATAL_FAILURE(DropLine(installed, "kuid"));
  const ToolResult repaired = Run({"repairdatabase"});
  EXPECT_EQ(repaired.status, 255);
  EXPECT_NE(repaired.out.find(kuid + " : The asset's configuration names no KUID."),
            std::string::npos)
      << repaired.out;
  EXPECT_EQ(repaired.out.find("another KUID"), std::string::npos) << repaired.out;
}

}  // namespace
