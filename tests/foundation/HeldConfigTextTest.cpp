// A configuration held for a job: each reader gets what loading the file
// would give it, only the holder's own thread and path are answered, and a
// file that cannot be read whole is left to the readers.
#include "foundation/soup/HeldConfigText.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>

#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "tests/support/TempFolder.h"

namespace {

std::string Text(const Soup& soup) {
  TBuffer stream;
  TextSoup::Write(stream, soup);
  const Kiv::DynamicBuffer* data = stream.GetData();
  return std::string(reinterpret_cast<const char*>(data->Data()), data->DataLength());
}

class HeldConfigTextTest : public VUTest::TempFolderTest {
 protected:
  std::string Folder() const { return At("asset"); }
  std::string Config() const { return At("asset/config.txt"); }
  // The soup text of `text` loaded from a file of its own.
  std::string Loaded(const std::string& text) const {
    Soup soup;
    EXPECT_TRUE(Soup::LoadFromFile(Kiv::PString(), Put("expected.txt", text), soup, false));
    return Text(soup);
  }
};

TEST_F(HeldConfigTextTest, EachReaderGetsWhatTheFileWouldGive) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"plain", "kuid <kuid:1:2>\nusername \"Crate\"\nsub\n{\n  a 1\n}\n"},
      {"code page byte", "username \"Caf\xe9\"\n"},
      {"byte order mark", "\xef\xbb\xbfusername \"Caf\xc3\xa9\"\n"},
      {"empty", ""},
      {"unclosed", "a {\n b \"open\n"},
      {"stray brace", "a 1\n}\nb 2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Put("asset/config.txt", c.text);
    for (const bool utf8 : {false, true}) {
      Soup fromFile;
      ASSERT_TRUE(Soup::LoadFromFile(Kiv::PString(), Config(), fromFile, utf8));
      HeldConfigText held(Folder(), Config());
      ASSERT_TRUE(held.Holding());
      Soup byPath;
      Soup byFolder;
      ASSERT_TRUE(HeldConfigText::LoadPath(Config(), byPath, utf8));
      ASSERT_TRUE(HeldConfigText::LoadFolder(Folder() + "/", byFolder, utf8));
      EXPECT_EQ(Text(byPath), Text(fromFile));
      EXPECT_EQ(Text(byFolder), Text(fromFile));
    }
  }
}

TEST_F(HeldConfigTextTest, ReadersGetTheirOwnSoupOfTheBytesReadOnce) {
  Put("asset/config.txt", "a 1\n");
  HeldConfigText held(Folder(), Config());
  Put("asset/config.txt", "a 2\n");
  Soup first;
  ASSERT_TRUE(HeldConfigText::LoadPath(Config(), first, false));
  first.SetNamedInt(Kiv::PString("added"), 5);
  Soup second;
  ASSERT_TRUE(HeldConfigText::LoadPath(Config(), second, false));
  EXPECT_EQ(Text(second), Loaded("a 1\n")) << "the bytes read when the job began, untouched by a reader";
}

TEST_F(HeldConfigTextTest, OnlyTheHolderThreadAndItsPathAreAnswered) {
  Put("asset/config.txt", "a 1\n");
  Put("other/config.txt", "b 1\n");
  Soup soup;
  soup.SetNamedInt(Kiv::PString("kept"), 1);
  const std::string kept = Text(soup);
  EXPECT_FALSE(HeldConfigText::LoadPath(Config(), soup, false)) << "nothing held yet";
  {
    HeldConfigText outer(Folder(), Config());
    {
      HeldConfigText inner(At("other"), At("other/config.txt"));
      EXPECT_FALSE(HeldConfigText::LoadPath(Config(), soup, false));
      EXPECT_TRUE(HeldConfigText::LoadFolder(At("other"), soup, false));
      EXPECT_EQ(Text(soup), Loaded("b 1\n"));
    }
    EXPECT_TRUE(HeldConfigText::LoadFolder(Folder(), soup, false)) << "the outer holder again";
    EXPECT_EQ(Text(soup), Loaded("a 1\n"));
    EXPECT_FALSE(HeldConfigText::LoadPath(At("asset/Config.txt"), soup, false));
    EXPECT_FALSE(HeldConfigText::LoadFolder(At("asset/sub"), soup, false));
    bool seen = true;
    std::thread([&] {
      Soup other;
      seen = HeldConfigText::LoadPath(Config(), other, false);
    }).join();
    EXPECT_FALSE(seen) << "another thread reads the file itself";
  }
  soup = Soup();
  EXPECT_FALSE(HeldConfigText::LoadFolder(Folder(), soup, false)) << "the holders ended";
  EXPECT_EQ(Text(soup), "");
}

TEST_F(HeldConfigTextTest, FileThatCannotBeReadWholeIsNotHeld) {
  Put("asset/readme.txt", "x");
  ASSERT_EQ(::mkdir(At("asset/folder.txt").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(At("asset/pipe.txt").c_str(), 0600), 0);
  for (const char* name : {"missing.txt", "folder.txt", "pipe.txt"}) {
    SCOPED_TRACE(name);
    const std::string path = At("asset/") + name;
    HeldConfigText held(Folder(), path);
    EXPECT_FALSE(held.Holding());
    Soup soup;
    EXPECT_FALSE(HeldConfigText::LoadPath(path, soup, false));
    EXPECT_FALSE(HeldConfigText::LoadFolder(Folder(), soup, false));
  }
}

}  // namespace
