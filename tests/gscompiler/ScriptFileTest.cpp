// ScriptFile: plain and encoded script files, the pending prefix, and the
// refusals of damaged or hostile ".gse" files.
#include "gscompiler/ScriptFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "GslCompileSupport.h"

namespace {

using GSTest::WorkingFolderTest;

const std::string kText =
    "class Train {\n  int speed;\n  void Go(void) { speed = speed + 1; }\n};\n"
    "class Train2 isclass Train {\n  void Go(void) { speed = speed + 2; }\n};\n";

uint32_t Word(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(bytes[offset + i]);
  return v;
}

void PutWord(std::string& bytes, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = char(v >> (8 * i));
}

std::string Text(ScriptFile& file) {
  const char* text = file.GetText();
  return text ? std::string(text, file.GetSize()) : std::string("<null>");
}

class ScriptFileTest : public WorkingFolderTest {
 protected:
  void SetUp() override {
    WorkingFolderTest::SetUp();
    PendingScriptPrefix.Release();
  }
  void TearDown() override {
    PendingScriptPrefix.Release();
    WorkingFolderTest::TearDown();
  }

  // Saves kText as "name" (a ".gse") and answers the file's bytes.
  std::string MakeGse(const std::string& name) {
    Write("src.gs", kText);
    ScriptFile file;
    EXPECT_TRUE(file.Load(nullptr, Kiv::File::Path("src.gs")));
    EXPECT_TRUE(file.Save(nullptr, Kiv::File::Path(name)));
    return Read(name);
  }
};

TEST_F(ScriptFileTest, GseRoundTripGivesTheSameText) {
  Write("a.gs", kText);
  ScriptFile file;
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("a.gs")));
  EXPECT_FALSE(file.IsEncoded());
  ASSERT_TRUE(file.Save(nullptr, Kiv::File::Path("a.gse")));
  EXPECT_TRUE(file.IsEncoded());  // saving encodes in place

  const std::string bytes = Read("a.gse");
  ASSERT_GT(bytes.size(), 20u);
  EXPECT_EQ(Word(bytes, 0), 1u);
  EXPECT_EQ(Word(bytes, 4), 0u);
  EXPECT_EQ(Word(bytes, 8), bytes.size() - 16);
  EXPECT_EQ(Word(bytes, 12), 0u);
  EXPECT_EQ(bytes.find("class"), std::string::npos);  // not readable as text

  ScriptFile back;
  ASSERT_TRUE(back.Load(nullptr, Kiv::File::Path("a.gse")));
  EXPECT_TRUE(back.IsEncoded());  // stays encoded until the text is asked for
  EXPECT_EQ(back.GetTextSize(), kText.size());
  EXPECT_EQ(Text(back), kText);
  EXPECT_EQ(Listing(), "a.gs a.gse");  // no temporary file left behind

  // Saving the decoded file as ".gs" writes the text back.
  ASSERT_TRUE(back.Save(nullptr, Kiv::File::Path("b.gs")));
  EXPECT_EQ(Read("b.gs"), kText);
}

TEST_F(ScriptFileTest, FormatWordIsKeptThroughLoadAndSave) {
  std::string bytes = MakeGse("a.gse");
  PutWord(bytes, 0, 7);
  Write("a.gse", bytes);
  ScriptFile file;
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("a.gse")));
  EXPECT_EQ(file.GetFormat(), 7u);
  ASSERT_TRUE(file.Save(nullptr, Kiv::File::Path("b.gse")));
  EXPECT_EQ(Word(Read("b.gse"), 0), 7u);
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("b.gse")));
  EXPECT_EQ(Text(file), kText);
}

TEST_F(ScriptFileTest, EmptySourceIsNeverWrittenEncoded) {
  Write("empty.gs", "");
  Write("old.gse", "previous bytes");
  ScriptFile file;
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("empty.gs")));
  EXPECT_EQ(file.GetTextSize(), 0u);
  ASSERT_NE(file.GetText(), nullptr);
  EXPECT_FALSE(file.Save(nullptr, Kiv::File::Path("new.gse")));
  EXPECT_FALSE(file.Save(nullptr, Kiv::File::Path("old.gse")));
  EXPECT_FALSE(file.IsEncoded());
  EXPECT_FALSE(Exists("new.gse"));
  EXPECT_EQ(Read("old.gse"), "previous bytes");
  EXPECT_EQ(Listing(), "empty.gs old.gse");
}

TEST_F(ScriptFileTest, LoadRefusesBadHeaders) {
  const std::string good = MakeGse("good.gse");
  const auto loads = [this](const std::string& bytes) {
    Write("bad.gse", bytes);
    ScriptFile file;
    return file.Load(nullptr, Kiv::File::Path("bad.gse"));
  };
  std::string bytes = good;
  PutWord(bytes, 8, 0);
  EXPECT_FALSE(loads(bytes)) << "body length 0";
  PutWord(bytes, 8, 0x2000001);
  EXPECT_FALSE(loads(bytes)) << "body above 32 MiB";
  PutWord(bytes, 8, uint32_t(good.size() - 16 + 1));
  EXPECT_FALSE(loads(bytes)) << "body longer than the file";
  EXPECT_FALSE(loads(good.substr(0, 15))) << "short header";
  EXPECT_FALSE(loads(good.substr(0, good.size() - 1))) << "truncated body";
  EXPECT_TRUE(loads(good));
  EXPECT_TRUE(loads(good + "trailing")) << "bytes after the body are ignored";
}

TEST_F(ScriptFileTest, DecodeAcceptsOnlyTheStoredLength) {
  const std::string good = MakeGse("good.gse");
  const uint32_t length = uint32_t(kText.size());

  // The body is scrambled by XOR, so flipping bits of the stored bytes flips
  // the same bits of the length word.
  std::string other = good;
  other[16] = char(other[16] ^ 1);
  Write("other.gse", other);
  ScriptFile file;
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("other.gse")));
  EXPECT_EQ(file.GetText(), nullptr);
  EXPECT_EQ(file.GetSize(), 0u);  // a wrong decoded length empties the file
  EXPECT_FALSE(file.IsEncoded());

  std::string huge = good;
  huge[19] = char(huge[19] ^ 0x10);  // length word above 64 MiB
  Write("huge.gse", huge);
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("huge.gse")));
  EXPECT_EQ(file.GetText(), nullptr);
  EXPECT_EQ(file.GetSize(), 0u);

  std::string zero = good;
  for (int i = 0; i < 4; ++i) zero[16 + i] = char(zero[16 + i] ^ (length >> (8 * i)));
  Write("zero.gse", zero);
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("zero.gse")));
  EXPECT_EQ(file.GetText(), nullptr);
  // A zero length leaves the body as it was, still encoded: asking again
  // fails the same way instead of unscrambling twice.
  EXPECT_TRUE(file.IsEncoded());
  ASSERT_EQ(file.GetSize(), zero.size() - 16);
  EXPECT_EQ(std::memcmp(file.GetData(), zero.data() + 16, file.GetSize()), 0);
  EXPECT_EQ(file.GetTextSize(), 0u);
  EXPECT_EQ(std::memcmp(file.GetData(), zero.data() + 16, file.GetSize()), 0);

  std::string tiny = good.substr(0, 19);  // a body of 3 bytes cannot hold the length
  PutWord(tiny, 8, 3);
  Write("tiny.gse", tiny);
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("tiny.gse")));
  EXPECT_EQ(file.GetText(), nullptr);
}

TEST_F(ScriptFileTest, OnlyGsAndGseExtensionsAreHandled) {
  Write("a.txt", kText);
  Write("UPPER.GS", kText);
  ScriptFile file;
  EXPECT_FALSE(file.Load(nullptr, Kiv::File::Path("a.txt")));
  EXPECT_FALSE(file.Load(nullptr, Kiv::File::Path("missing.gs")));
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("upper.gs")));  // case-insensitive lookup
  EXPECT_EQ(Text(file), kText);
  EXPECT_FALSE(file.Save(nullptr, Kiv::File::Path("out.txt")));
  EXPECT_FALSE(Exists("out.txt"));
}

TEST_F(ScriptFileTest, PendingPrefixGoesInFrontOfTheNextReadOnly) {
  Write("ten.gs", "0123456789");
  PendingScriptPrefix = "PREFIX;";
  ScriptFile file;
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("ten.gs")));
  EXPECT_EQ(Text(file), "PREFIX;0123456789");
  EXPECT_EQ(file.GetPrefixLength(), 7u);
  EXPECT_TRUE(PendingScriptPrefix.Empty());
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("ten.gs")));
  EXPECT_EQ(Text(file), "0123456789");
  EXPECT_EQ(file.GetPrefixLength(), 0u);

  // An encoded file takes the prefix when it is decoded, not when loaded.
  MakeGse("a.gse");
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("a.gse")));
  PendingScriptPrefix = "P";
  EXPECT_EQ(Text(file), "P" + kText);
  EXPECT_EQ(file.GetPrefixLength(), 1u);
}

TEST_F(ScriptFileTest, FailedSaveKeepsTheTargetAndLeavesNoTemporaryFile) {
  Write("a.gs", kText);
  std::filesystem::create_directory("dir.gse");
  std::filesystem::create_directory("dir.gs");
  ScriptFile file;
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("a.gs")));
  EXPECT_FALSE(file.Save(nullptr, Kiv::File::Path("dir.gs")));
  EXPECT_FALSE(file.Save(nullptr, Kiv::File::Path("dir.gse")));
  EXPECT_FALSE(file.Save(nullptr, Kiv::File::Path("missing/a.gse")));
  EXPECT_FALSE(file.Save(nullptr, Kiv::File::Path("")));
  EXPECT_EQ(Listing(), "a.gs dir.gs dir.gse");

  // Replacing an existing file works and leaves only the target.
  Write("old.gse", "old");
  ASSERT_TRUE(file.Save(nullptr, Kiv::File::Path("old.gse")));
  ScriptFile back;
  ASSERT_TRUE(back.Load(nullptr, Kiv::File::Path("old.gse")));
  EXPECT_EQ(Text(back), kText);
  EXPECT_EQ(Listing(), "a.gs dir.gs dir.gse old.gse");
}

TEST_F(ScriptFileTest, ContainerNamesAFileRoot) {
  Write("box/a.gs", kText);
  const Kiv::PString root("gsdriver-test-box");
  Kiv::File::Subst(root, temp_.At("box"));
  ScriptFile file;
  ASSERT_TRUE(file.Load(root.c_str(), Kiv::File::Path("a.gs")));
  ASSERT_TRUE(file.Save(root.c_str(), Kiv::File::Path("a.gse")));
  EXPECT_TRUE(Exists("box/a.gse"));
  EXPECT_FALSE(file.Save(root.c_str(), Kiv::File::Path("../escape.gse")));
  EXPECT_FALSE(file.Load(root.c_str(), Kiv::File::Path("../box/a.gs")));
  ASSERT_TRUE(file.Load(root.c_str(), Kiv::File::Path("a.gse")));
  EXPECT_EQ(Text(file), kText);
  Kiv::File::Subst(root, "");
}

}  // namespace
