// Loading and saving soup files: the form by extension, a handle that only
// changes on success, saves through a temporary copy, and recovery from an
// interrupted save.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "tests/support/LayoutTestRoot.h"
#include "tests/support/StreamTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using streamtest::LogLines;

const Kiv::PString kNoLocation;

Kiv::PString N(const char* name) {
  return Kiv::PString(name);
}

Soup MakeSoup(const char* value) {
  Soup soup;
  soup.SetNamedTag(N("name"), value);
  soup.SetNamedInt(N("count"), 7);
  Soup sub;
  sub.SetNamedKUID(N("kuid"), KUID{1, 2, 0});
  soup.SetNamedSoup(N("sub"), sub);
  return soup;
}

std::string NameOf(const Soup& soup) {
  return soup.GetNamedTag(N("name")).Str();
}

void PutText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string GetText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using SoupFile = VUTest::TempFolderTest;

// A binary soup whose header is wrong: the binary reader refuses it.
const std::string kDamagedBinary("NOPE\1\0\0\0\0\0\0\0\0\0\0\0", 16);

TEST_F(SoupFile, RefusedBinaryFileIsNamedWithTheByteAtFault) {
  const struct {
    const char* name;
    std::string bytes;
    const char* place;
  } cases[] = {
      {"magic.cdp", kDamagedBinary,
       "byte 0: the file does not start with \"ACS$\" (the first bytes are not a binary soup's)"},
      {"short.chump", std::string("ACS$\1\0", 6),
       "byte 0: the header is cut short (only 6 of the 16 header bytes are there)"},
      {"version.cdp2", std::string("ACS$\2\0\0\0\0\0\0\0\0\0\0\0", 16),
       "byte 4: unknown version (version 2 (0 and 1 are known))"},
      {"record.cdp",
       std::string("ACS$\1\0\0\0\0\0\0\0\14\0\0\0"
                   "\2\0\0\0\0\5"
                   "\377\0\0\0\0\5",
                   28),
       "byte 22: damaged record block (the record's size runs past the end of its list)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = At(c.name);
    PutText(path, c.bytes);
    LogLines log;
    Soup soup;
    EXPECT_FALSE(Soup::LoadFromFile(kNoLocation, path, soup, false));
    const std::string want = "Soup::LoadFromFile> " + path + ": " + c.place;
    EXPECT_TRUE(log.Holds(want)) << want;
  }
}

TEST_F(SoupFile, FormFollowsTheExtensionInAnyCase) {
  for (const char* name : {"config.TXT", "offline-inbox.TBox", "x.CDP", "y.Chump", "z.cdp2"}) {
    SCOPED_TRACE(name);
    const std::string path = At(name);
    ASSERT_TRUE(Soup::SaveToFile(kNoLocation, path, MakeSoup(name)));
    const std::string text = GetText(path);
    const std::string ext = fs::path(name).extension().string();
    const bool isText = ext == ".TXT" || ext == ".TBox";
    EXPECT_EQ(text.substr(0, isText ? 3 : 4), isText ? "\xEF\xBB\xBF" : "ACS$");

    Soup back;
    ASSERT_TRUE(Soup::LoadFromFile(kNoLocation, path, back, false));
    EXPECT_EQ(NameOf(back), name);
    EXPECT_EQ(back.GetNamedTagAsInt(N("count"), 0), 7);
    EXPECT_EQ(back.GetNamedSoup(N("sub")).GetNamedTagAsKUID(N("kuid"), kNullKUID), (KUID{1, 2, 0}));
  }
  EXPECT_FALSE(fs::exists(At("config.tmp")));
  EXPECT_FALSE(fs::exists(At("offline-inbox.tmp")));
  EXPECT_FALSE(fs::exists(At("x.tmp")));
}

TEST_F(SoupFile, FailedLoadsLeaveTheHandleAsItWas) {
  PutText(At("bad.cdp"), kDamagedBinary);
  PutText(At("notes.doc"), "name x\r\n");
  fs::create_directory(At("folder.txt"));
  for (const char* name : {"missing.txt", "bad.cdp", "notes.doc", "folder.txt"}) {
    SCOPED_TRACE(name);
    Soup soup = MakeSoup("kept");
    const Soup before = soup;
    EXPECT_FALSE(Soup::LoadFromFile(kNoLocation, At(name), soup, false));
    EXPECT_TRUE(soup == before);
    EXPECT_EQ(NameOf(soup), "kept");
  }
}

TEST_F(SoupFile, SaveReplacesTheOldFileWhole) {
  const std::string path = At("config.txt");
  PutText(path, std::string(100000, '#') + "\r\n");  // longer than the new text
  ASSERT_TRUE(Soup::SaveToFile(kNoLocation, path, MakeSoup("new")));
  Soup back;
  ASSERT_TRUE(Soup::LoadFromFile(kNoLocation, path, back, false));
  EXPECT_EQ(NameOf(back), "new");
  EXPECT_LT(fs::file_size(path), 1000u);
  EXPECT_FALSE(fs::exists(At("config.tmp")));
}

TEST_F(SoupFile, FailedSaveKeepsTheOldFile) {
  // Unknown extensions create nothing.
  EXPECT_FALSE(Soup::SaveToFile(kNoLocation, At("x.doc"), MakeSoup("a")));
  EXPECT_FALSE(Soup::SaveToFile(kNoLocation, At("noextension"), MakeSoup("a")));
  EXPECT_TRUE(fs::is_empty(At("")));

  // The folder of the target is missing.
  EXPECT_FALSE(Soup::SaveToFile(kNoLocation, At("nowhere/config.txt"), MakeSoup("a")));
  EXPECT_FALSE(fs::exists(At("nowhere")));

  // The target is a folder.
  fs::create_directory(At("taken.txt"));
  EXPECT_FALSE(Soup::SaveToFile(kNoLocation, At("taken.txt"), MakeSoup("a")));
  EXPECT_TRUE(fs::is_directory(At("taken.txt")));
  EXPECT_FALSE(fs::exists(At("taken.tmp")));

  // The temporary copy cannot be made.
  const std::string path = At("config.txt");
  ASSERT_TRUE(Soup::SaveToFile(kNoLocation, path, MakeSoup("old")));
  const std::string old = GetText(path);
  fs::create_directory(At("config.tmp"));
  EXPECT_FALSE(Soup::SaveToFile(kNoLocation, path, MakeSoup("new")));
  EXPECT_EQ(GetText(path), old);
  fs::remove(At("config.tmp"));

  // A binary soup with a tag the form cannot hold.
  const std::string binary = At("x.cdp");
  ASSERT_TRUE(Soup::SaveToFile(kNoLocation, binary, MakeSoup("old")));
  const std::string oldBinary = GetText(binary);
  Soup tooLong = MakeSoup("new");
  tooLong.SetNamedInt(Kiv::PString(std::string(300, 'n')), 1);
  EXPECT_FALSE(Soup::SaveToFile(kNoLocation, binary, tooLong));
  EXPECT_EQ(GetText(binary), oldBinary);
  EXPECT_FALSE(fs::exists(At("x.tmp")));
}

// Whoever can write the folder could leave a link at the temporary name:
// the save fails rather than write through it.
TEST_F(SoupFile, ALinkAtTheTemporaryNameFailsTheSaveAndLeadsNowhere) {
  const std::string path = At("config.txt");
  ASSERT_TRUE(Soup::SaveToFile(kNoLocation, path, MakeSoup("old")));
  const std::string old = GetText(path);
  PutText(At("victim.txt"), "precious");
  fs::create_symlink(At("victim.txt"), At("config.tmp"));
  EXPECT_FALSE(Soup::SaveToFile(kNoLocation, path, MakeSoup("new")));
  EXPECT_EQ(GetText(At("victim.txt")), "precious");
  EXPECT_EQ(GetText(path), old);
}

// Files may grow to 4 KiB while it lives; writes beyond fail (EFBIG) as on
// a full disk.
class FileSizeLimit {
 public:
  FileSizeLimit() {
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit small = old_;
    small.rlim_cur = 4096;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, old_handler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit old_{};
  sighandler_t old_handler_;
  bool ok_ = false;
};

TEST_F(SoupFile, WriteErrorsFailTheSaveAndKeepTheOldFile) {
  Soup big = MakeSoup("big");
  for (int i = 0; i < 500; ++i)
    big.SetNamedTag(Kiv::PString("tag" + std::to_string(i)), "some text");
  for (const char* name : {"config.txt", "x.cdp"}) {
    SCOPED_TRACE(name);
    const std::string path = At(name);
    ASSERT_TRUE(Soup::SaveToFile(kNoLocation, path, MakeSoup("old")));
    const std::string old = GetText(path);
    bool saved = true;
    {
      FileSizeLimit limit;
      ASSERT_TRUE(limit.ok());
      saved = Soup::SaveToFile(kNoLocation, path, big);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(GetText(path), old);
  }
  EXPECT_FALSE(fs::exists(At("config.tmp")));
  EXPECT_FALSE(fs::exists(At("x.tmp")));
}

// Recovery works in a content location ("editing") of a test installation.
class SoupFileRecovery : public LayoutTestRoot {
 protected:
  void SetUp() override {
    LayoutTestRoot::SetUp();
    StartLayout();
  }

  std::string Editing(const std::string& name) const { return At("UserData/editing/" + name); }
  void Save(const std::string& name, const char* value) {
    ASSERT_TRUE(Soup::SaveToFile(kEditing, name, MakeSoup(value)));
  }

  const Kiv::PString kEditing{"editing"};
};

TEST_F(SoupFileRecovery, GoodFileWinsAndTheLeftoverCopyGoes) {
  Save("config.txt", "real");
  fs::copy_file(Editing("config.txt"), Editing("config.tmp"));
  Soup soup;
  EXPECT_TRUE(Soup::LoadFromFileOrTemp(kEditing, "config.txt", soup));
  EXPECT_EQ(NameOf(soup), "real");
  EXPECT_FALSE(IsThere("UserData/editing/config.tmp"));

  // A folder that happens to carry the temporary name is not deleted.
  fs::create_directory(Editing("config.tmp"));
  PutText(Editing("config.tmp/keep"), "x");
  EXPECT_TRUE(Soup::LoadFromFileOrTemp(kEditing, "config.txt", soup));
  EXPECT_TRUE(IsThere("UserData/editing/config.tmp/keep"));
}

TEST_F(SoupFileRecovery, GoodCopyReplacesAMissingOrDamagedFile) {
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "missing");
    Save("config.chump", "copy");
    fs::rename(Editing("config.chump"), Editing("config.tmp"));
    if (damaged) PutText(Editing("config.chump"), kDamagedBinary);
    Soup soup;
    EXPECT_TRUE(Soup::LoadFromFileOrTemp(kEditing, "config.chump", soup));
    EXPECT_EQ(NameOf(soup), "copy");
    EXPECT_FALSE(IsThere("UserData/editing/config.tmp"));
    Soup again;
    EXPECT_TRUE(Soup::LoadFromFile(kEditing, "config.chump", again, false));
    EXPECT_EQ(NameOf(again), "copy");
  }
}

TEST_F(SoupFileRecovery, NothingIsDeletedWhenNoGoodCopyExists) {
  // Damaged file alone (text files always load, so the binary form).
  PutText(Editing("config.chump"), kDamagedBinary);
  Soup soup = MakeSoup("kept");
  EXPECT_FALSE(Soup::LoadFromFileOrTemp(kEditing, "config.chump", soup));
  EXPECT_EQ(NameOf(soup), "kept");
  EXPECT_EQ(Get("UserData/editing/config.chump"), kDamagedBinary);

  // Damaged file and damaged copy.
  PutText(Editing("config.tmp"), kDamagedBinary);
  EXPECT_FALSE(Soup::LoadFromFileOrTemp(kEditing, "config.chump", soup));
  EXPECT_EQ(NameOf(soup), "kept");
  EXPECT_TRUE(IsThere("UserData/editing/config.chump"));
  EXPECT_TRUE(IsThere("UserData/editing/config.tmp"));

  // Neither exists.
  EXPECT_FALSE(Soup::LoadFromFileOrTemp(kEditing, "other.txt", soup));
  EXPECT_EQ(NameOf(soup), "kept");
}

TEST_F(SoupFileRecovery, AFileThatCannotBeOpenedIsNeverReplaced) {
  // "config.txt" exists but cannot be opened as a file.
  fs::create_directory(Editing("config.txt"));
  PutText(Editing("config.txt/data"), "precious");
  Save("other.txt", "copy");
  fs::rename(Editing("other.txt"), Editing("config.tmp"));
  Soup soup;
  EXPECT_TRUE(Soup::LoadFromFileOrTemp(kEditing, "config.txt", soup));
  EXPECT_EQ(NameOf(soup), "copy");
  EXPECT_EQ(Get("UserData/editing/config.txt/data"), "precious");
  EXPECT_TRUE(IsThere("UserData/editing/config.tmp"));
}

}  // namespace
