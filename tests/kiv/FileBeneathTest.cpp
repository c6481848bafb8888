// Opening below a folder without leaving it: where links may lead, what is
// never opened (pipes, sockets, devices), and reads confined to a folder
// by Kiv::ConfinedFolder whatever path or thread they take.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "kiv/File.h"
#include "kiv/FileBeneath.h"
#include "kiv/FileConfinement.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using Outcome = Kiv::BeneathFolder::Outcome;

class FileBeneathTest : public VUTest::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    Put("asset/config.txt", "inside");
    Put("asset/Sub/Mesh.im", "mesh");
    Put("asset-twin/secret.txt", "secret");
    Put("outside.txt", "secret");
  }
  void Link(const std::string& target, const std::string& relative) {
    fs::create_symlink(target, At(relative));
  }
  // What opening `relative` below "asset" gives, and the bytes read.
  Outcome Open(const std::string& relative, std::string* bytes = nullptr) {
    Kiv::BeneathFolder root;
    EXPECT_TRUE(root.Open(At("asset")));
    const Kiv::BeneathFolder::Opened opened = root.OpenFile(relative);
    EXPECT_EQ(opened.fd >= 0, opened.outcome == Outcome::kOpened) << relative;
    if (opened.fd < 0) return opened.outcome;
    char buffer[64];
    const ssize_t got = ::read(opened.fd, buffer, sizeof buffer);
    if (bytes != nullptr && got > 0) bytes->assign(buffer, size_t(got));
    ::close(opened.fd);
    return opened.outcome;
  }
};

TEST_F(FileBeneathTest, LinksAreFollowedOnlyWhileTheyStayInside) {
  const struct {
    const char* name;
    std::string target;
    Outcome outcome;
  } cases[] = {
      {"inside.txt", "config.txt", Outcome::kOpened},
      {"Sub/up.txt", "../config.txt", Outcome::kOpened},
      {"absolute-inside.txt", At("asset/config.txt"), Outcome::kOpened},
      {"back-in.txt", "../asset/config.txt", Outcome::kOpened},
      {"folder-in", "Sub", Outcome::kFolder},
      {"dangling.txt", "no-such-file", Outcome::kMissing},
      {"out.txt", At("outside.txt"), Outcome::kLeavesFolder},
      {"dotdot.txt", "../outside.txt", Outcome::kLeavesFolder},
      {"twin.txt", "../asset-twin/secret.txt", Outcome::kLeavesFolder},
      {"chain.txt", "out.txt", Outcome::kLeavesFolder},
      {"up-to-parent", "..", Outcome::kLeavesFolder},
      {"root", "/", Outcome::kLeavesFolder},
      {"loop-a", "loop-b", Outcome::kFailed},
      {"loop-b", "loop-a", Outcome::kFailed},
  };
  for (const auto& c : cases) Link(c.target, std::string("asset/") + c.name);
  for (const auto& c : cases) {
    std::string bytes;
    EXPECT_EQ(Open(c.name, &bytes), c.outcome) << c.name;
    if (c.outcome == Outcome::kOpened) {
      EXPECT_EQ(bytes, "inside") << c.name;
    }
  }
  // A path given with "..", and a folder on the way that is a link out.
  EXPECT_EQ(Open("Sub/../config.txt"), Outcome::kOpened);
  EXPECT_EQ(Open("../asset/config.txt"), Outcome::kOpened);
  EXPECT_EQ(Open("../outside.txt"), Outcome::kLeavesFolder);
  Link(At("asset-twin"), "asset/twin-folder");
  EXPECT_EQ(Open("twin-folder/secret.txt"), Outcome::kLeavesFolder);
  // The folder named through a link of its own judges by its real path.
  Link(At("asset"), "alias");
  Kiv::BeneathFolder alias;
  ASSERT_TRUE(alias.Open(At("alias")));
  const Kiv::BeneathFolder::Opened opened = alias.OpenFile("absolute-inside.txt");
  EXPECT_EQ(opened.outcome, Outcome::kOpened);
  if (opened.fd >= 0) ::close(opened.fd);
}

TEST_F(FileBeneathTest, PipesSocketsAndFoldersAreNeverOpenedAsFiles) {
  ASSERT_EQ(::mkfifo(At("asset/Sub/pipe.im").c_str(), 0600), 0);
  Link("Sub/pipe.im", "asset/to-pipe.im");
  // Opening a pipe for reading would wait for a writer: these answer at once.
  EXPECT_EQ(Open("Sub/pipe.im"), Outcome::kNotPlain);
  EXPECT_EQ(Open("to-pipe.im"), Outcome::kNotPlain);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = At("asset/sock");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(Open("sock"), Outcome::kNotPlain);
  ::close(sock);
  EXPECT_EQ(Open("Sub"), Outcome::kFolder);
  EXPECT_EQ(Open(""), Outcome::kFolder);
  EXPECT_EQ(Open("config.txt/more"), Outcome::kMissing);
  EXPECT_EQ(Open("no-such/file"), Outcome::kMissing);
}

TEST_F(FileBeneathTest, NamesAreFoundInAnotherCaseExactOnesFirst) {
  std::string bytes;
  EXPECT_EQ(Open("sub/mesh.IM", &bytes), Outcome::kOpened);
  EXPECT_EQ(bytes, "mesh");
  Put("asset/sub/Mesh.im", "exact");
  EXPECT_EQ(Open("sub/Mesh.im", &bytes), Outcome::kOpened);
  EXPECT_EQ(bytes, "exact");
  EXPECT_EQ(Open("SUB/MESH.IM", &bytes), Outcome::kOpened);
  EXPECT_EQ(bytes, "mesh");  // "SUB" matches "Sub" before "sub" in byte order.
}

TEST_F(FileBeneathTest, FoldersDeeperThanTheBoundAreRefused) {
  std::string deep;
  for (size_t i = 0; i <= Kiv::BeneathFolder::kMaxDepth; ++i) deep += "d/";
  Put("asset/" + deep + "f.txt", "deep");
  Put("asset/" + deep.substr(2) + "f.txt", "deep");
  EXPECT_EQ(Open(deep.substr(2) + "f.txt"), Outcome::kOpened);  // kMaxDepth folders.
  EXPECT_EQ(Open(deep + "f.txt"), Outcome::kFailed);
}

// Links whose targets wind back and forth: each is short and few are
// taken, but the walk they make is long. It ends at the bound.
TEST_F(FileBeneathTest, AWalkLongerThanTheBoundIsRefused) {
  const size_t perLink = 200;
  std::string detour;
  for (size_t i = 0; i < perLink / 2; ++i) detour += "Sub/../";
  const size_t links = Kiv::BeneathFolder::kMaxSteps / perLink + 1;  // still < kMaxLinks
  ASSERT_LT(int(links), Kiv::BeneathFolder::kMaxLinks);
  for (size_t i = 0; i < links; ++i)
    Link(detour + (i + 1 == links ? "config.txt" : "l" + std::to_string(i + 1)),
         "asset/l" + std::to_string(i));
  EXPECT_EQ(Open("l" + std::to_string(links - 2)), Outcome::kOpened);
  EXPECT_EQ(Open("l0"), Outcome::kFailed);
}

class ConfinedFolderTest : public FileBeneathTest {};

TEST_F(ConfinedFolderTest, ReadsBelowTheFolderNeverLeaveItOnAnyThread) {
  Link(At("outside.txt"), "asset/out.txt");
  Link("config.txt", "asset/in.txt");
  ASSERT_EQ(::mkfifo(At("asset/pipe.im").c_str(), 0600), 0);
  Kiv::File file;
  {
    Kiv::ConfinedFolder confined(At("asset"));
    EXPECT_FALSE(file.Open(At("asset/out.txt"), Kiv::File::kRead));
    // Another spelling of the same path, from another thread.
    std::thread other([&] {
      Kiv::File again;
      EXPECT_FALSE(again.Open(At("asset/Sub/../out.txt"), Kiv::File::kRead));
    });
    other.join();
    // A plain read of a pipe would wait for ever; here it fails at once.
    EXPECT_FALSE(file.Open(At("asset/pipe.im"), Kiv::File::kRead));
    ASSERT_TRUE(file.Open(At("asset/in.txt"), Kiv::File::kRead));
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 1, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer), "inside");
    ASSERT_TRUE(file.Open(At("asset/sub/mesh.im"), Kiv::File::kRead));  // Case is looked up.
    EXPECT_EQ(file.GetPath(), At("asset/Sub/Mesh.im"));
    ASSERT_TRUE(file.Open(At("asset/in.txt"), Kiv::File::kRead));
    EXPECT_EQ(file.GetPath(), At("asset/in.txt"));  // As asked: a link is no other case.
    // Outside the folder nothing changes; writing is not confined.
    EXPECT_TRUE(file.Open(At("outside.txt"), Kiv::File::kRead));
    EXPECT_TRUE(file.Open(At("asset/new.txt"), Kiv::File::kCreate | 1));
    file.Close();
    const std::vector<Kiv::ConfinedFolder::Refusal> refused = confined.Refusals();
    ASSERT_EQ(refused.size(), 3u);
    EXPECT_EQ(refused[0].path, At("asset/out.txt"));
    EXPECT_EQ(refused[0].why, Kiv::ConfinedFolder::Why::kLeavesFolder);
    EXPECT_EQ(refused[1].path, At("asset/Sub/../out.txt"));
    EXPECT_EQ(refused[2].path, At("asset/pipe.im"));
    EXPECT_EQ(refused[2].why, Kiv::ConfinedFolder::Why::kNotPlain);
  }
  // Once the folder is no longer confined, reads are as before.
  EXPECT_TRUE(file.Open(At("asset/out.txt"), Kiv::File::kRead));
}

TEST_F(ConfinedFolderTest, TheFolderIsKnownByItsRealPathAndRelativeNames) {
  Link(At("outside.txt"), "asset/out.txt");
  Link(At("asset"), "alias");
  Kiv::ConfinedFolder confined(At("alias"));
  Kiv::File file;
  EXPECT_FALSE(file.Open(At("asset/out.txt"), Kiv::File::kRead));
  const std::string saved = Kiv::File::GetCwd();
  ASSERT_TRUE(Kiv::File::SetCwd(At("asset/Sub")));
  EXPECT_FALSE(file.Open("../out.txt", Kiv::File::kRead));
  EXPECT_TRUE(file.Open("Mesh.im", Kiv::File::kRead));
  ASSERT_TRUE(Kiv::File::SetCwd(saved));
  EXPECT_EQ(confined.Refusals().size(), 2u);
}

// A folder named in another case is the folder the reads find; one that
// cannot be opened confines its path all the same, so nothing below it is
// read until it is confined no longer.
TEST_F(ConfinedFolderTest, AFolderInAnotherCaseOrNotThereYetStillConfines) {
  Link(At("outside.txt"), "asset/out.txt");
  Kiv::File file;
  {
    Kiv::ConfinedFolder confined(At("ASSET"));
    EXPECT_FALSE(file.Open(At("ASSET/out.txt"), Kiv::File::kRead));
    EXPECT_TRUE(file.Open(At("ASSET/config.txt"), Kiv::File::kRead));
  }
  Kiv::ConfinedFolder later(At("later"));
  Put("later/config.txt", "made after");
  Link(At("outside.txt"), "later/out.txt");
  EXPECT_FALSE(file.Open(At("later/out.txt"), Kiv::File::kRead));
  EXPECT_FALSE(file.Open(At("later/config.txt"), Kiv::File::kRead));
}

}  // namespace
