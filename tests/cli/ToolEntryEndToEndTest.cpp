// The built tool's entry end to end: help, exit statuses, switches,
// batch-file limits, the start folder, start-up failure and
// "closevaddaemon" across installations.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cli/ToolFixture.h"
#include "tests/support/ImmutableFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kNoMessages = "OK (0 Errors, 0 Warnings)\n";

// The printed log of a command that failed its argument check with `text`.
std::string FailedCheck(const std::string& text) {
  return "- <NULL> : " + text + "\nOK (1 Errors, 0 Warnings)\n";
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    ++n;
  return n;
}

// The ids of the running processes whose executable is `exe` (a real path).
std::vector<pid_t> ProcessesOf(const std::string& exe) {
  std::vector<pid_t> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code unreadable;
    if (fs::read_symlink(entry.path() / "exe", unreadable).string() == exe)
      found.push_back(pid_t(std::stol(name)));
  }
  return found;
}

class ToolEntry : public ToolFixture {
 protected:
  // A root with the tool only (no daemon executable); its path.
  static std::string ToolOnlyRoot() {
    const std::string root = MakeTempFolder();
    fs::create_directories(root + "/bin");
    fs::copy_file(VANDRUUTIL_EXE, root + "/bin/VandruUtil");
    return root;
  }
};

}  // namespace

TEST_F(ToolEntry, HelpPrintsFortyFourLinesWithoutStartingTheEngine) {
  // A root of its own, so that nothing else can have made its UserData.
  const std::string root = ToolOnlyRoot();
  const std::string expected =
      ReadFile(std::string(VU_SOURCE_DIR) + "/tests/cli/help_expected.txt") + "\n";
  ASSERT_EQ(Count(expected, "\n"), 45u);

  const ToolResult none = RunProgram(root + "/bin/VandruUtil", {}, root);
  EXPECT_EQ(none.status, 255);
  EXPECT_EQ(none.out, expected);
  EXPECT_EQ(none.err, "");
  for (const char* word : {"help", "HeLp", "HELP"}) {
    const ToolResult help = RunProgram(root + "/bin/VandruUtil", {word, "ignored"}, root);
    EXPECT_EQ(help.status, 0) << word;
    EXPECT_EQ(help.out, expected) << word;
  }
  EXPECT_FALSE(fs::exists(root + "/UserData"));
}

TEST_F(ToolEntry, InitFailsWhenTheDaemonCannotStart) {
  const std::string root = ToolOnlyRoot();
  const ToolResult result = RunProgram(root + "/bin/VandruUtil", {"version"}, root);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "- Init failed\n");
  EXPECT_EQ(result.out, "");
}

// An existing UserData that cannot be written ends the tool with its error
// before a daemon is started or the command runs, though the check runs
// beside the rest of the start.
TEST_F(ToolEntry, UnwritableUserDataEndsTheToolBeforeADaemonStarts) {
  const std::string root = MakeRoot();
  fs::create_directories(root + "/UserData");
  ImmutableFolder locked(root + "/UserData");
  if (!locked.Made()) GTEST_SKIP() << "the immutable attribute cannot be set here";
  const ToolResult result = RunProgram(root + "/bin/VandruUtil", {"version"}, root + "/bin");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Error: Unable to acquire write access to UserData folder.\n");
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(ProcessesOf(fs::canonical(root + "/bin/vaddaemon").string()).empty());
}

// An owner block and lock left in UserData by another user are never used,
// so no daemon can serve this user: the tool says at once which file is in
// the way, whose it is and what to do, instead of waiting for a daemon; on
// one line, also where the root's path holds a line feed.
TEST_F(ToolEntry, AnotherUsersOwnerBlockIsNamedWithWhatToDo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make files of another user";
  constexpr uid_t kNobody = 65534;
  const std::string made = MakeRoot();
  for (const std::string& name : {std::string(), std::string("\nforged")}) {
    const std::string root = made + name;
    if (!name.empty()) fs::rename(made, root);
    const std::string userData = root + "/UserData";
    const std::string shown = made + (name.empty() ? "" : "\\x0Aforged") + "/UserData";
    fs::create_directories(userData);
    for (const char* file : {"assets.tdx.lock", "assets.tdx.ipc"}) {
      ASSERT_TRUE(WriteFile(userData + "/" + file, std::string(36, '\0')));
      ASSERT_EQ(::chmod((userData + "/" + file).c_str(), 0666), 0);
      ASSERT_EQ(::chown((userData + "/" + file).c_str(), kNobody, kNobody), 0);
    }
    const auto start = std::chrono::steady_clock::now();
    const ToolResult result = RunProgram(root + "/bin/VandruUtil", {"version"}, root + "/bin");
    const auto took = std::chrono::steady_clock::now() - start;
    StopDaemonOf(root);
    EXPECT_EQ(result.status, 255);
    const std::string said = "The database lock '" + shown + "/assets.tdx.lock' belongs to user ";
    EXPECT_EQ(result.err.rfind(said, 0), 0u) << result.err;
    EXPECT_NE(result.err.find("(65534), not to this user (0): remove it, or make '" + shown +
                              "' a folder of this user's own that no other user can write to.\n"
                              "- Init failed\n"),
              std::string::npos)
        << result.err;
    EXPECT_LT(took, std::chrono::seconds(8)) << "the tool waited for a daemon";
    EXPECT_TRUE(ProcessesOf(fs::canonical(root + "/bin/vaddaemon").string()).empty());
    if (!name.empty()) fs::rename(root, made);
  }
}

// With no space left where UserData lies (a small file system of its own,
// in a mount namespace of the test's, filled up), a command fails with a
// message that says so, never by a signal: before any daemon runs, the
// owner block cannot be made; with the daemon running, the KUID and the
// setting it cannot keep.
TEST_F(ToolEntry, AFullDiskIsAnErrorThatSaysSo) {
  if (RunProgram("/usr/bin/unshare", {"-m", "true"}, "/").status != 0)
    GTEST_SKIP() << "no mount namespace can be made here";
  // $1 UserData, $2 the tool, $3 "daemon" to start one first, then the
  // command, whose output lands beside UserData.
  const char* const script =
      "u=$1 tool=$2 first=$3; shift 3; mount -t tmpfs -o size=4m tmpfs \"$u\" || exit 97\n"
      "if [ $first = daemon ]; then \"$tool\" version >/dev/null || exit 98; fi\n"
      "head -c 8388608 /dev/zero > \"$u/filler\" 2>/dev/null\n"
      "\"$tool\" \"$@\" > \"$u.out\" 2>&1; echo $? >> \"$u.out\"\n"
      "\"$tool\" closevaddaemon >/dev/null 2>&1 || true\n";
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"-", "status", "<kuid:0:1>"},
       "The disk is full: the database owner block '@/assets.tdx.ipc' cannot be made. Free some "
       "space on the disk that holds '@', then try again.\n- Init failed\n255\n"},
      {{"daemon", "generatekuid"},
       "- <NULL> : Unable to generate a KUID: the asset index cannot be written: a statement "
       "failed: database or disk is full.\nOK (1 Errors, 0 Warnings)\n255\n"},
      {{"daemon", "setlanguage", "DE"},
       "- <NULL> : Unable to write internet settings: the settings file "
       "'@/vaddaemon-settings.chump' cannot be saved: No space left on device.\nOK (1 Errors, 0 "
       "Warnings)\n255\n"},
  };
  for (const auto& c : cases) {
    const std::string root = MakeRoot(), userData = root + "/UserData";
    fs::create_directories(userData);
    std::vector<std::string> args = {"-m", "sh", "-c", script, "sh", userData, root + "/bin/VandruUtil"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(RunProgram("/usr/bin/unshare", args, root).status, 0);
    const std::string said = std::regex_replace(c.said, std::regex("@"), userData);
    EXPECT_EQ(ReadFile(userData + ".out"), said) << c.args[1];
  }
}

// The exit status is the low byte of the command's result (the values are
// checked in DispatcherTest); the first argument is always the command
// word, and switches after it stay in place.
TEST_F(ToolEntry, WordsPrintTheirOutputAndEndWithTheirStatus) {
  const std::string build = std::string("Build 49938\n") + kNoMessages;
  const std::string invalid =
      FailedCheck("Invalid argument, please check the help for the list of valid argument\n");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"Version"}, 0, build},
      {{"norender", "version"}, 255, invalid},
      {{"installedbuildnumber"}, 49938 & 0xFF, kNoMessages},
  };
  for (const auto& c : cases) {
    const ToolResult run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[0];
    EXPECT_EQ(run.out, c.out) << c.args[0];
    EXPECT_EQ(run.err, "") << c.args[0];
  }
  // Switches after the word stay in place ("-kivlog" adds the engine's log).
  const ToolResult switched = Run({"version", "NoRender", "-kivlog"});
  EXPECT_EQ(switched.status, 0);
  EXPECT_EQ(switched.out.rfind(build, 0), 0u) << switched.out;
}

TEST_F(ToolEntry, BatchRefusesLongLinesAndMissingFiles) {
  const std::string work = MakeTempFolder();
  ASSERT_TRUE(WriteFile(work + "/long.txt", "echo " + std::string(600, 'z') + "\necho after\n"));
  // The batch name is relative to the folder the tool was started in.
  const ToolResult refused = Run({"@long.txt"}, work);
  EXPECT_EQ(refused.status, 255);
  EXPECT_NE(refused.err.find("Line 1 of \"long.txt\" is longer than 511 characters"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.out, std::string("after \n") + kNoMessages + "\n");

  const ToolResult missing = Run({"@absent.txt"}, work);
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.err,
            "-The file \"absent.txt\" does not exist, please specify a valid filename\n");
  EXPECT_EQ(missing.out, "");

  const ToolResult folder = Run({"@" + work});
  EXPECT_EQ(folder.status, 255);
  EXPECT_NE(folder.err.find("could not be opened"), std::string::npos) << folder.err;
}

// Relative paths are taken from the folder the tool was started in, and
// their case is kept.
TEST_F(ToolEntry, CompileWorksInTheCallersFolder) {
  const std::string work = MakeTempFolder();
  fs::create_directory(work + "/Src Dir");
  ASSERT_TRUE(WriteFile(work + "/Src Dir/Wagon.gs", "class Wagon {\n  int axles;\n};\n"));
  const ToolResult compiled = Run({"compile", "-s", "Src Dir/Wagon.gs"}, work);
  EXPECT_EQ(compiled.status, 0) << compiled.out << compiled.err;
  EXPECT_TRUE(fs::exists(work + "/Src Dir/Wagon.gsl"));
  // A failed compile prints the compiler's own log; the command's results
  // log stays empty, so its summary counts nothing and the status tells.
  const ToolResult missing = Run({"compile", "Src Dir/Missing.gs"}, work);
  EXPECT_EQ(missing.status, 255);
  EXPECT_NE(missing.out.find("Could not read file"), std::string::npos) << missing.out;
  EXPECT_TRUE(missing.out.ends_with("\nOK (0 Errors, 0 Warnings)\n")) << missing.out;
}

// The names and paths in compile's lines (the source, an include, the file
// of an error) show each control character as "\xHH", so that each line
// stays one line; the rest of each line is the compiler's own.
TEST_F(ToolEntry, CompileShowsNamesWithControlCharactersEscaped) {
  const struct {
    std::string source, text, out;
  } cases[] = {
      // A source that is not there (the first line looks it up lower-cased).
      {"no\n\x1b[2JSuch.gs", "",
       "Could not read file (null) : no\\x0A\\x1B[2jsuch.gs.\n"
       ".. while compiling 'no\\x0A\\x1B[2JSuch.gs'\n"},
      // An include that is not there.
      {"top.gs", "include \"in\x1b\ac.gs\"\nclass A {};\n",
       "Could not read file (null) : in\\x1B\\x07c.gs.\n.. while compiling 'in\\x1B\\x07c.gs'\n"
       ".. while compiling 'top.gs'\n"},
      // An error in a source of such a name.
      {"wa\ngon.gs", "class {\n",
       "wa\\x0Agon.gs(1) : parse error, line 1\n"
       ".. while compiling 'wa\\x0Agon.gs'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    const std::string work = MakeTempFolder();
    if (!c.text.empty()) {
      ASSERT_TRUE(WriteFile(work + "/" + c.source, c.text));
    }
    const ToolResult compiled = Run({"compile", c.source}, work);
    EXPECT_EQ(compiled.status, 255);
    EXPECT_EQ(compiled.out, c.out + kNoMessages);
  }
}

// A class of more methods than a library can number is a compile error,
// not a library that no loader takes.
TEST_F(ToolEntry, CompileRefusesAClassOfMoreMethodsThanALibraryNumbers) {
  const std::string work = MakeTempFolder();
  std::string source = "class Big {\n";
  for (int i = 0; i < 33000; ++i)
    source += "  public int f" + std::to_string(i) + "(int a) { return a; }\n";
  ASSERT_TRUE(WriteFile(work + "/Big.gs", source + "};\n"));
  const ToolResult compiled = Run({"compile", "Big.gs"}, work);
  EXPECT_EQ(compiled.status, 255);
  EXPECT_NE(compiled.out.find("big.gs(32770) : too many methods in class 'Big' (the limit is "
                              "32768, inherited ones included)\n"),
            std::string::npos)
      << compiled.out;
  EXPECT_FALSE(fs::exists(work + "/Big.gsl"));
}

// A limit of what a library holds, met by the code generator, is the
// compile's one line about it; the status says the compile failed while the
// summary, which counts the tool's own findings, counts none.
TEST_F(ToolEntry, CompileReportsALimitOfTheCodeOnce) {
  struct LimitCase {
    std::string (*item)(const std::string& n);  // a line of each case or string
    const char* head;
    const char* tail;
    int count;
    const char* refusal;
  };
  const LimitCase cases[] = {
      {[](const std::string& n) { return "      case " + n + ": r = " + n + "; break;\n"; },
       "class Main {\n  public int Run(int v) {\n    int r = 0;\n    switch (v) {\n",
       "      default: r = -1;\n    }\n    return r;\n  }\n};\n", 65536,
       "limit.gs(65542) : too many cases in switch (the limit is 65535)"},
      {[](const std::string& n) { return "    s = \"k" + n + "\"; r = " + n + ";\n"; },
       "class Main {\n  public int Run(int v) {\n    int r = 0;\n    string s;\n",
       "    return r;\n  }\n};\n", 65537,
       "limit.gs(65541) : too many different strings in the code of one library (the limit is "
       "65536)"},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.refusal);
    const std::string work = MakeTempFolder();
    std::string source = c.head;
    for (int i = 0; i < c.count; ++i) source += c.item(std::to_string(i));
    ASSERT_TRUE(WriteFile(work + "/Limit.gs", source + c.tail));
    const ToolResult compiled = Run({"compile", "Limit.gs"}, work);
    EXPECT_EQ(compiled.status, 255);
    EXPECT_EQ(compiled.out, std::string(c.refusal) + "\nOK (0 Errors, 0 Warnings)\n");
    EXPECT_FALSE(fs::exists(work + "/Limit.gsl"));
  }
}

// "closevaddaemon" ends the daemon of its own installation only; the
// database outlives it and the next command starts another.
TEST_F(ToolEntry, CloseVADDaemonEndsOnlyItsOwnDaemon) {
  const std::string other = MakeRoot();
  EXPECT_EQ(RunProgram(other + "/bin/VandruUtil", {"version"}, other + "/bin").status, 0);
  ASSERT_EQ(Run({"version"}).status, 0);
  const std::vector<pid_t> otherDaemons = ProcessesOf(other + "/bin/vaddaemon");
  EXPECT_EQ(otherDaemons.size(), 1u);

  const ToolResult closed = Run({"closevaddaemon"});
  EXPECT_EQ(closed.status, 0) << closed.err;
  EXPECT_EQ(closed.out, kNoMessages);
  EXPECT_TRUE(ProcessesOf(BinPath() + "/vaddaemon").empty());
  EXPECT_EQ(DaemonOwnerPid(), 0);
  EXPECT_EQ(ProcessesOf(other + "/bin/vaddaemon"), otherDaemons);
  EXPECT_EQ(Run({"version"}).status, 0);
  EXPECT_NE(DaemonOwnerPid(), 0);
  EXPECT_TRUE(StopDaemonOf(other));
  EXPECT_TRUE(ProcessesOf(other + "/bin/vaddaemon").empty());
}

// The libraries that only some commands use come with the tool's modules,
// loaded on first use, or are linked into it: starting the tool maps none
// of them (the loader lists what the program needs at start and stops).
TEST_F(ToolEntry, StartMapsNoLibraryThatOnlySomeCommandsUse) {
  const ToolResult listed = RunProgram(
      "/usr/bin/env", {"LD_TRACE_LOADED_OBJECTS=1", VANDRUUTIL_EXE, "version"}, BinPath());
  ASSERT_EQ(listed.status, 0) << listed.err;
  ASSERT_NE(listed.out.find("libc.so"), std::string::npos) << listed.out;
  for (const char* library : {"libssl", "libcrypto", "libfreetype", "libfontconfig", "libpng",
                              "libnvtt", "libstb", "libvu_"})
    EXPECT_EQ(listed.out.find(library), std::string::npos) << library << " in\n" << listed.out;
}

// No processor survey runs before main(): each cpuid it makes leaves a
// virtual machine for the host, a cost every command would pay at start.
// The compiler's survey comes with its feature tests (__builtin_cpu_supports);
// the tool asks on first use instead (kiv/basics/ProcessorFeatures.h).
TEST_F(ToolEntry, StartRunsNoProcessorSurvey) {
  const ToolResult symbols = RunProgram("/usr/bin/nm", {VANDRUUTIL_EXE}, BinPath());
  ASSERT_EQ(symbols.status, 0) << symbols.err;
  ASSERT_NE(symbols.out.find(" main\n"), std::string::npos);
  EXPECT_EQ(symbols.out.find("__cpu_indicator_init"), std::string::npos);
}
