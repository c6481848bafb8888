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
#include "cli/StartDirectoryScope.h"
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

TEST(Dispatcher, RegisterAccountNeedsNameAndPasswordToMatch) {
  ExpectOnlyError(Dispatch({"registeraccount", "someone"}), kInvalidArgument);
  ExpectOnlyError(Dispatch({"registeraccount"}), kInvalidArgument);
  // With both, the word matches; without a daemon the settings cannot be read.
  ExpectOnlyError(Dispatch({"RegisterAccount", "someone", "secret"}),
                  "Unable to read internet settings.");
}

TEST(VersionWords, AnswerTheBytesAndTheWholeNumbers) {
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
}

TEST(EchoWord, WritesEachArgumentWithOneBlankThenALineFeed) {
  EXPECT_EQ(Dispatch({"echo", "a", "b"}).out, "a b \n");
  EXPECT_EQ(Dispatch({"echo"}).out, "\n");
  // Arguments keep their case and their blanks.
  const Outcome outcome = Dispatch({"ECHO", "Mixed Case", ""});
  EXPECT_EQ(outcome.out, "Mixed Case  \n");
  EXPECT_EQ(outcome.status, 0);
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
      {{"printconfig", ""}, "Missing AssetID parameter."},
      {{"commit"}, "Missing AssetID parameter."},
      {{"revert"}, "Missing AssetID parameter."},
      {{"delete"}, "Missing AssetID parameter."},
      {{"status"}, "Missing AssetID parameter."},
      {{"compile"}, "Invalid file path."},
      {{"encrypt"}, "Invalid file path."},
      {{"encrypt", "script.txt"}, "Invalid file path."},
      {{"encrypt", "/no/such/folder/script.gs"}, "Invalid file path."},
      {{"listbuilds"}, "Missing path parameter."},
      {{"listbuilds", "/no/such/folder/builds.txt"}, "Failed to open output file."},
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
TEST(WithoutDaemon, AssetCommandsReportTheirFailures) {
  ExpectAssetError(Dispatch({"edit", "<KUID:12:34>"}), "Unknown AssetID.", "<kuid:12:34>");
  ExpectAssetError(Dispatch({"printconfig", "<kuid2:12:34:5>"}), "Asset is not local.",
                   "<kuid2:12:34:5>");
  EXPECT_EQ(Dispatch({"commit", "<kuid:12:34>"}).status, -1);
  EXPECT_EQ(Dispatch({"revert", "<kuid:12:34>"}).status, -1);
  EXPECT_EQ(Dispatch({"delete", "<kuid:12:34>"}).status, -1);
  // A text that gives the null KUID is passed on, not refused as missing.
  ExpectAssetError(Dispatch({"edit", "nonsense"}), "Unknown AssetID.", "<NULL>");
}

TEST(WithoutDaemon, GenerateKUIDPrintsTheNullKUIDAndFails) {
  const Outcome outcome = Dispatch({"generatekuid"});
  EXPECT_EQ(outcome.status, -1);
  EXPECT_EQ(outcome.out, "<KUID2:-1:4294967295:127>\n");
  EXPECT_TRUE(outcome.messages.empty());
}

TEST(WithoutDaemon, ListBuildsWithoutAnAnswerIsAFailure) {
  TempFolder folder;
  ASSERT_FALSE(folder.Path().empty());
  ExpectOnlyError(Dispatch({"listbuilds", folder.Path() + "/Builds.txt"}),
                  "Unable to read the list of installed builds.");
}

TEST(WithoutDaemon, SearchThatFindsNothingFailsSilently) {
  const Outcome outcome = Dispatch({"searchbycategory", "TC"});
  EXPECT_EQ(outcome.status, -1);
  EXPECT_TRUE(outcome.out.empty());
  EXPECT_TRUE(outcome.messages.empty());
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

TEST(CreateCDP, AnAssetThatIsNotLocalEndsTheCommandWithoutAnArchive) {
  TempFolder folder;
  const std::string path = folder.Path() + "/out.cdp";
  ExpectAssetError(Dispatch({"createcdp", path, "<kuid:5:6>"}), "Asset is not local.",
                   "<kuid:5:6>");
  EXPECT_FALSE(fs::exists(path));
}

TEST(Encrypt, WritesTheEncodedFileBesideTheSourceKeepingItsCase) {
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
}

TEST(Encrypt, AnOutputThatCannotBeWrittenIsAFailure) {
  TempFolder folder;
  ASSERT_TRUE(WriteText(folder.Path() + "/a.gs", "int x;\n"));
  // A folder where the encoded file should go: the save cannot replace it.
  fs::create_directory(folder.Path() + "/a.gse");
  ExpectOnlyError(Dispatch({"encrypt", folder.Path() + "/a.gs"}), "Failed to write output file.");
  EXPECT_TRUE(fs::is_directory(folder.Path() + "/a.gse"));
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

TEST(StartDirectoryScope, EntersTheFolderAndGivesTheOldOneBack) {
  TempFolder folder;
  const std::string before = Kiv::File::GetCwd();
  {
    StartDirectoryScope scope(folder.Path().c_str());
    EXPECT_TRUE(scope.Entered());
    EXPECT_EQ(fs::canonical(Kiv::File::GetCwd()), fs::canonical(folder.Path()));
  }
  EXPECT_EQ(Kiv::File::GetCwd(), before);
  {
    StartDirectoryScope scope((folder.Path() + "/missing").c_str());
    EXPECT_FALSE(scope.Entered());
    EXPECT_EQ(Kiv::File::GetCwd(), before);
  }
  EXPECT_EQ(Kiv::File::GetCwd(), before);
}
