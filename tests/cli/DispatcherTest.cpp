// The dispatcher and the command bodies' own checks, run in process without
// a daemon: every daemon request fails at once, so the bodies take their
// failure roads.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/Dispatcher.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/VandruProperty.h"
#include "gscompiler/ScriptFile.h"
#include "kiv/File.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// One command line: slot 0 the program path, then `words`.
class CommandLine {
 public:
  explicit CommandLine(std::vector<std::string> words) : texts_(std::move(words)) {
    texts_.insert(texts_.begin(), "VandruUtil");
    for (std::string& text : texts_) argv_.push_back(text.data());
    argv_.push_back(nullptr);
  }
  int argc() const { return int(texts_.size()); }
  char** argv() { return argv_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> argv_;
};

struct Outcome {
  int32_t status = 0;
  std::vector<ResultMessage> messages;
  std::string out;
};

Outcome Dispatch(std::vector<std::string> words) {
  CommandLine line(std::move(words));
  ResultsLog log;
  EngineObjects engine;
  Outcome outcome;
  testing::internal::CaptureStdout();
  outcome.status = DispatchCommand(log, engine, line.argc(), line.argv());
  outcome.out = testing::internal::GetCapturedStdout();
  outcome.messages = log.Messages();
  return outcome;
}

// The KUID a message's subject names; the null KUID when it names none.
KUID SubjectAsset(const ResultMessage& message) {
  const auto* property = dynamic_cast<const VandruPropertyAssetID*>(message.subject.Get());
  if (property == nullptr) return KUID();
  EXPECT_EQ(property->GetName().View(), "AssetID");
  return property->GetAsset();
}

// The command failed with exactly one error, `text`, about no asset.
void ExpectOnlyError(const Outcome& outcome, const std::string& text) {
  EXPECT_EQ(outcome.status, -1);
  ASSERT_EQ(outcome.messages.size(), 1u);
  EXPECT_EQ(outcome.messages[0].severity, ResultsLog::kError);
  EXPECT_EQ(outcome.messages[0].text, text);
  EXPECT_TRUE(outcome.messages[0].subject.IsNull());
}

// The same, with the asset `kuidText` as the subject.
void ExpectAssetError(const Outcome& outcome, const std::string& text, const char* kuidText) {
  EXPECT_EQ(outcome.status, -1);
  ASSERT_EQ(outcome.messages.size(), 1u);
  EXPECT_EQ(outcome.messages[0].severity, ResultsLog::kError);
  EXPECT_EQ(outcome.messages[0].text, text);
  EXPECT_EQ(SubjectAsset(outcome.messages[0]), ParseKUID(kuidText, true));
}

constexpr const char* kInvalidArgument =
    "Invalid argument, please check the help for the list of valid argument\n";

using VUTest::TempFolder;

bool WriteText(const std::string& path, const std::string& text) {
  Kiv::File file;
  if (!file.Open(path, Kiv::File::kCreate | 0x1)) return false;
  return file.Write(text.data(), uint32_t(text.size())) == text.size();
}

}  // namespace

TEST(Dispatcher, UnknownMissingOrEmptyWordIsInvalidArgument) {
  ExpectOnlyError(Dispatch({"frobnicate"}), kInvalidArgument);
  ExpectOnlyError(Dispatch({""}), kInvalidArgument);
  ExpectOnlyError(Dispatch({}), kInvalidArgument);
}

TEST(InfoWords, VersionWordsAnswerTheirNumbersAndEchoWritesItsArguments) {
  const struct {
    const char* word;
    int32_t status;
  } cases[] = {{"installedversionlo", 84},     {"installedversionhi", 1},
               {"installedbuildnumberlo", 18}, {"installedbuildnumberhi", 195},
               {"installedversion", 340},      {"installedbuildnumber", 49938}};
  for (const auto& c : cases) {
    const Outcome outcome = Dispatch({c.word});
    EXPECT_EQ(outcome.status, c.status) << c.word;
    EXPECT_TRUE(outcome.out.empty()) << c.word;
    EXPECT_TRUE(outcome.messages.empty()) << c.word;
  }
  // Each argument with one blank after it, case and blanks kept.
  EXPECT_EQ(Dispatch({"echo"}).out, "\n");
  EXPECT_EQ(Dispatch({"ECHO", "Mixed Case", ""}).out, "Mixed Case  \n");
}

TEST(ArgumentChecks, MissingOrBadArgumentsGiveTheirMessages) {
  const struct {
    std::vector<std::string> words;
    const char* message;
  } cases[] = {
      {{"setlanguage"}, "Missing input langauge id parameter."},
      {{"setlanguage", ""}, "Missing input langauge id parameter."},
      {{"setlanguage", "xx"}, "Unknown language code."},
      {{"installcdp"}, "Missing input filepath parameter."},
      {{"installfrompath"}, "Missing input path parameter."},
      {{"installfrompath", "/no/such/folder/cdispatch"}, "Invalid input path."},
      {{"edit"}, "Missing AssetID parameter."},
      {{"encrypt"}, "Invalid file path."},
      {{"encrypt", "script.txt"}, "Invalid file path."},
      {{"encrypt", "/no/such/folder/script.gs"}, "Invalid file path."},
      {{"listbuilds"}, "Missing path parameter."},
      {{"listbuilds", "/no/such/folder/builds.txt"}, "Failed to open output file."},
      {{"registeraccount", "someone"}, kInvalidArgument},
      {{"searchbycategory", "-A"}, "Missing category parameter."},
      {{"searchbycategory", "-a", ""}, "Missing category parameter."},
      {{"createcdp"}, "Missing output path parameter."},
      {{"createcdp", "out.zip", "<kuid:1:2>"}, "The output filename must have a .cdp extension."},
      {{"createcdp", "out.cdp", "not-a-kuid"}, "Invalid AssetID."},
      {{"createcdp", "out.cdp", "KUID 5", "<kuid:5:6>"}, "Invalid AssetID."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words[0] + (c.words.size() > 1 ? " " + c.words[1] : std::string()));
    const Outcome outcome = Dispatch(c.words);
    ExpectOnlyError(outcome, c.message);
    EXPECT_TRUE(outcome.out.empty());
  }
}

// Without a daemon every request fails; the bodies must say so, never
// report success.
TEST(WithoutDaemon, CommandsReportTheirFailures) {
  ExpectAssetError(Dispatch({"edit", "<KUID:12:34>"}), "Unknown AssetID.", "<kuid:12:34>");
  ExpectAssetError(Dispatch({"printconfig", "<kuid2:12:34:5>"}), "Asset is not local.",
                   "<kuid2:12:34:5>");
  // A text that gives the null KUID is passed on, not refused as missing.
  ExpectAssetError(Dispatch({"edit", "nonsense"}), "Unknown AssetID.", "<NULL>");
  for (const char* word : {"commit", "revert", "delete"})
    EXPECT_EQ(Dispatch({word, "<kuid:12:34>"}).status, -1) << word;
  const Outcome kuid = Dispatch({"generatekuid"});
  ExpectOnlyError(kuid, "Unable to generate a KUID.");
  EXPECT_EQ(kuid.out, "");
  const Outcome search = Dispatch({"searchbycategory", "TC"});
  EXPECT_EQ(search.status, -1);
  EXPECT_TRUE(search.out.empty() && search.messages.empty());
  TempFolder folder;
  ExpectOnlyError(Dispatch({"listbuilds", folder.Path() + "/Builds.txt"}),
                  "Unable to read the list of installed builds.");
}

TEST(CreateCDP, WithoutKUIDsWritesAnEmptyArchiveThatReadsBack) {
  TempFolder folder;
  const std::string path = folder.Path() + "/Empty Export.CDP";
  const Outcome outcome = Dispatch({"createcdp", path});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(outcome.messages.empty());
  Soup archive;
  Kiv::PString message;
  CDP::OpenArchive(archive, message, path);
  EXPECT_TRUE(message.Empty()) << message.c_str();
  EXPECT_EQ(CDP::GetAssetCount(archive), 0u);
}

TEST(Encrypt, WritesTheEncodedFileBesideTheSourceOrFails) {
  TempFolder folder;
  const std::string dir = folder.Path() + "/Scripts Dir";
  fs::create_directory(dir);
  const std::string text = "include \"gs.gs\"\n// Mixed Case text\n";
  ASSERT_TRUE(WriteText(dir + "/MyScript.GS", text));

  const Outcome outcome = Dispatch({"encrypt", dir + "/MyScript.GS"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(outcome.messages.empty());
  ASSERT_TRUE(fs::exists(dir + "/MyScript.gse"));
  ScriptFile encoded;
  ASSERT_TRUE(encoded.Load("", Kiv::File::Path(dir + "/MyScript.gse")));
  ASSERT_NE(encoded.GetText(), nullptr);
  EXPECT_EQ(std::string(encoded.GetText(), encoded.GetTextSize()), text);
  // A folder where the encoded file should go: the save cannot replace it.
  fs::create_directory(dir + "/a.gse");
  ASSERT_TRUE(WriteText(dir + "/a.gs", "int x;\n"));
  ExpectOnlyError(Dispatch({"encrypt", dir + "/a.gs"}), "Failed to write output file.");
  EXPECT_TRUE(fs::is_directory(dir + "/a.gse"));
}

TEST(Compile, RestoresTheCommandWordSlot) {
  CommandLine line({"compile", "-d"});
  ResultsLog log;
  EngineObjects engine;
  testing::internal::CaptureStdout();
  const int32_t status = DispatchCommand(log, engine, line.argc(), line.argv());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(out.empty());
  EXPECT_STREQ(line.argv()[1], "compile");
}
