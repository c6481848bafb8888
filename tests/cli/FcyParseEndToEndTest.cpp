// "fcyparse" end to end: an archive of three assets made by "createcdp" in
// one root is inspected in another, which installs, validates and splits
// it into one archive and one thumbnail per asset beside the input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/ParseCDPForFetchery.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

class FcyParseEndToEnd : public ToolFixture {};

bool Has(const ToolResult& r, const std::string& text) {
  return r.out.find(text) != std::string::npos;
}

// Makes `archive` from three installed assets in a root of its own.
void MakeArchive(const std::string& archive, const std::vector<std::string>& keys) {
  const std::string root = ToolFixture::MakeRoot();
  const std::string exe = root + "/bin/VandruUtil";
  std::vector<std::string> create = {"createcdp", archive};
  for (const std::string& key : keys) {
    const std::string work = ToolFixture::MakeTempFolder() + "/a";
    fs::create_directories(work);
    ASSERT_TRUE(ToolFixture::WriteFile(
        work + "/config.txt",
        "kuid <kuid:100:" + key + ">\nusername \"Crate " + key +
            "\"\nkind \"scenery\"\nvandru-build 3.4\ncategory-class \"BA\"\n"
            "description \"a\r\nb\"\nthumbnails\n{\n  0\n  {\n    image \"thumb.jpg\"\n"
            "    width 240\n    height 180\n  }\n}\n"));
    ASSERT_TRUE(ToolFixture::WriteFile(work + "/thumb.jpg", "picture " + key));
    ASSERT_EQ(ToolFixture::RunProgram(exe, {"installfrompath", work}, root + "/bin").status, 0);
    create.push_back("<kuid:100:" + key + ">");
  }
  const ToolResult made = ToolFixture::RunProgram(exe, create, root + "/bin");
  EXPECT_EQ(made.status, 0) << made.out << made.err;
  EXPECT_TRUE(ToolFixture::StopDaemonOf(root));
}

TEST_F(FcyParseEndToEnd, SplitsAnArchiveIntoOneArchiveAndThumbnailPerAsset) {
  const std::string work = MakeTempFolder();
  MakeArchive(work + "/three.cdp", {"31", "32", "33"});
  const ToolResult r = Run({"fcyparse", work + "/three.cdp"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const char* key : {"31", "32", "33"}) {
    SCOPED_TRACE(key);
    const std::string base = work + "/kuid 100 " + key;
    EXPECT_TRUE(fs::exists(base + ".cdp"));
    EXPECT_EQ(ReadFile(base + ".jpg"), std::string("picture ") + key);
    EXPECT_TRUE(Has(r, std::string("+ <kuid:100:") + key + "> : ")) << r.out;
    EXPECT_TRUE(Has(r, std::string("<kuid:100:") + key + "> : Name: Crate " + key)) << r.out;
  }
  EXPECT_TRUE(Has(r, "Description: a\\nb")) << r.out;
  EXPECT_TRUE(Has(r, "Dependencies: \n")) << r.out;
  EXPECT_TRUE(Has(r, "kind: scenery")) << r.out;

  const ToolResult unreadable = Run({"fcyparse", work + "/kuid 100 31.jpg"});
  EXPECT_EQ(unreadable.status, 255);
  EXPECT_TRUE(Has(unreadable, "could not be read")) << unreadable.out;
  EXPECT_TRUE(Has(Run({"fcyparse"}), "Missing CDP filepath."));
}

// An archive that holds no asset ("createcdp" given no KUID) installs
// nothing: both installs say so in one error naming it, and fail alike.
TEST_F(FcyParseEndToEnd, AnArchiveHoldingNoAssetIsRefusedByBothInstalls) {
  const std::string archive = MakeTempFolder() + "/none.cdp";
  ASSERT_EQ(Run({"createcdp", archive}).status, 0);
  for (const char* word : {"installcdp", "fcyparse"}) {
    const ToolResult r = Run({word, archive});
    EXPECT_EQ(r.status, 255) << word;
    EXPECT_EQ(r.out, "- <NULL> : Unable to install '" + archive +
                         "': the archive holds no asset.\nOK (1 Errors, 0 Warnings)\n")
        << word;
  }
}

TEST_F(FcyParseEndToEnd, FailedInstallRevertsEverythingAndWritesNothing) {
  const std::string work = MakeTempFolder();
  MakeArchive(work + "/three.cdp", {"41", "42", "43"});
  Soup archive;
  Kiv::PString message;
  CDP::OpenArchive(archive, message, work + "/three.cdp");
  ASSERT_TRUE(message.Empty()) << message.c_str();
  ASSERT_EQ(CDP::GetAssetCount(archive), 3u);
  // The last entry loses its KUID, so its install fails.
  CDP::GetAssetAt(archive, 2).soup.RemoveNamedTag(CDP::Tag::KUID());
  CDP::WriteArchive(archive, message, work + "/broken.cdp");
  ASSERT_TRUE(message.Empty()) << message.c_str();

  const ToolResult r = Run({"fcyparse", work + "/broken.cdp"});
  EXPECT_EQ(r.status, 255) << r.out;
  EXPECT_TRUE(Has(r, "Aborted processing")) << r.out;
  for (const char* key : {"41", "42", "43"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(fs::exists(work + "/kuid 100 " + key + ".cdp"));
    EXPECT_FALSE(fs::exists(work + "/kuid 100 " + key + ".jpg"));
    EXPECT_EQ(Run({"status", std::string("<kuid:100:") + key + ">"}).status, 255)
        << "reverted, so no longer installed";
  }
}

TEST(FcyParseText, LineBreaksAndKUIDListsAreWrittenOnOneLine) {
  const struct {
    std::string text, escaped;
  } cases[] = {{"a\r\nb", "a\\nb"}, {"a\n\nb", "a\\n\\nb"}, {"a\n\rb", "a\\nb"},
               {"a\\b", "a\\\\b"},  {"\r", "\\n"},          {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(EscapeLineBreaks(c.text), c.escaped) << c.text;
  KUIDList list;
  EXPECT_EQ(KUIDListToText(list), "");
  list.Append(KUID{1, 2, 0});
  list.Append(KUID{3, 4, 5});
  EXPECT_EQ(KUIDListToText(list), "<kuid:1:2>, <kuid2:3:4:5>");
}

}  // namespace
