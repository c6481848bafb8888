#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "TaskTestSupport.h"
#include "foundation/diag/CrashHandlers.h"
#include "foundation/diag/LogFileName.h"
#include "foundation/diag/LogFileSink.h"
#include "foundation/threads/CallGuarded.h"
#include "tests/support/TempFolder.h"

// Every crash happens in a child: a gtest death test in the "threadsafe"
// style, which runs the test binary afresh, so the child starts with no
// handlers of this process. The parent makes a temporary folder and hands
// it to the child through the environment.

namespace {

namespace fs = std::filesystem;
using task_test::FunctionTask;

constexpr char kDirVariable[] = "VU_CRASH_REPORT_TEST_DIR";
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

volatile int g_never = 0;

int Overflow(int depth) {
  volatile char pad[512];
  pad[0] = static_cast<char>(depth);
  if (g_never != 0) return pad[0];
  return Overflow(depth + 1) + pad[0];
}

class CrashReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (const char* inherited = getenv(kDirVariable)) {
      dir_ = inherited;  // In the child, which must not make (and leak) a folder.
      return;
    }
    ASSERT_TRUE(temp_.emplace("Crash").Made());
    dir_ = temp_->Path();
    setenv(kDirVariable, dir_.c_str(), 1);
  }
  void TearDown() override { unsetenv(kDirVariable); }

  // Child side: a clean slate for the fault signals (a sanitizer's own
  // handler would end the child first), reports going to the test folder.
  void PrepareChild() const {
    for (int signal_number : kCrashSignals) signal(signal_number, SIG_DFL);
    LogFileSettings settings;
    settings.default_folder = dir_ + "/dumps";
    SetLogFileSettings(settings);
  }

  // The child runs the test's code up to its own death test, these reads
  // included, so they go by `dir_` rather than the parent's folder object.
  std::string Read(const std::string& relative) const {
    std::ifstream in(dir_ + "/" + relative, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Dump(const std::string& name) const { return Read("dumps/" + name); }

  static void ExpectCallStack(const std::string& report) {
    EXPECT_NE(report.find("\ncallstack: "), std::string::npos) << report;
    EXPECT_NE(report.find(" [<unknown>:-1]\n"), std::string::npos) << report;
    EXPECT_NE(report.find("foundation_tests "), std::string::npos) << report;
  }

  std::optional<VUTest::TempFolder> temp_;
  std::string dir_;
};

TEST_F(CrashReportTest, EachCrashWritesAReportUnderTheNextFreeName) {
  EXPECT_EXIT(
      {
        PrepareChild();
        InstallCrashHandlers(false);
        raise(SIGSEGV);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  std::string first = Dump("Vandru-49938.dmp");
  EXPECT_EQ(first.rfind("signal 11 (SIGSEGV)", 0), 0u) << first;
  ExpectCallStack(first);

  // A real fault, a stack overflow: only reported from the alternate stack.
  EXPECT_EXIT(
      {
        PrepareChild();
        InstallCrashHandlers(false);
        Overflow(0);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  std::string second = Dump("Vandru-49938_2.dmp");
  EXPECT_EQ(second.rfind("signal 11 (SIGSEGV), code 1", 0), 0u) << second.substr(0, 200);
  ExpectCallStack(second);

  EXPECT_EXIT(
      {
        PrepareChild();
        InstallCrashHandlers(false);
        abort();
      },
      ::testing::KilledBySignal(SIGABRT), "");
  EXPECT_EQ(Dump("Vandru-49938_3.dmp").rfind("signal 6 (SIGABRT)", 0), 0u);
}

TEST_F(CrashReportTest, GuardedCallsKeepTheirExitStatusAndWriteNoReport) {
  EXPECT_EXIT(
      {
        PrepareChild();
        SetExceptionGuardFlag(true);
        InstallCrashHandlers(false);
        FunctionTask fault([] { raise(SIGSEGV); });
        CallGuarded(&fault, nullptr);
        _exit(0);
      },
      ::testing::ExitedWithCode(156), "");
  EXPECT_EQ(Dump("Vandru-49938.dmp"), "<missing>");

  // Outside a guarded call the report is written, whichever came first.
  EXPECT_EXIT(
      {
        PrepareChild();
        SetExceptionGuardFlag(true);
        InstallCrashHandlers(false);
        raise(SIGBUS);
      },
      ::testing::KilledBySignal(SIGBUS), "");
  EXPECT_EQ(Dump("Vandru-49938.dmp").rfind("signal 7 (SIGBUS)", 0), 0u);
  EXPECT_EXIT(
      {
        PrepareChild();
        InstallCrashHandlers(false);
        SetExceptionGuardFlag(true);
        FunctionTask fine([] {});
        CallGuarded(&fine, nullptr);
        raise(SIGILL);
      },
      ::testing::KilledBySignal(SIGILL), "");
  EXPECT_EQ(Dump("Vandru-49938_2.dmp").rfind("signal 4 (SIGILL)", 0), 0u);
}

TEST_F(CrashReportTest, ExitWhileArmedWritesAReport) {
  EXPECT_EXIT(
      {
        PrepareChild();
        InstallCrashHandlers(false);
        exit(3);
      },
      ::testing::ExitedWithCode(3), "");
  std::string report = Dump("Vandru-49938.dmp");
  EXPECT_EQ(report.rfind("report written on request\n", 0), 0u) << report;
  ExpectCallStack(report);

  EXPECT_EXIT(
      {
        PrepareChild();
        InstallCrashHandlers(false);
        AllowConsoleTermination();
        exit(4);
      },
      ::testing::ExitedWithCode(4), "");
  EXPECT_EQ(Dump("Vandru-49938_2.dmp"), "<missing>");
}

TEST_F(CrashReportTest, ConsoleSignalsOnlyMarkTheCloseRequestUntilTerminationIsAllowed) {
  EXPECT_EXIT(
      {
        PrepareChild();
        InstallCrashHandlers(false);
        DisableConsoleClose();
        bool before = ConsoleCloseRequested();
        raise(SIGINT);
        raise(SIGHUP);
        raise(SIGTERM);
        bool after = ConsoleCloseRequested();
        AllowConsoleTermination();
        _exit(!before && after ? 42 : 1);
      },
      ::testing::ExitedWithCode(42), "");

  EXPECT_EXIT(
      {
        PrepareChild();
        InstallCrashHandlers(true);
        raise(SIGTERM);
        _exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(Dump("Vandru-49938.dmp"), "<missing>");
}

TEST_F(CrashReportTest, AnInstalledSinkGetsThePathAndTheCallStack) {
  EXPECT_EXIT(
      {
        PrepareChild();
        static LogFileSink sink("host.log", dir_);
        InstallLogFileSink(&sink);
        InstallCrashHandlers(false);
        raise(SIGFPE);
      },
      ::testing::KilledBySignal(SIGFPE), "");
  const std::string log = Read("host.log");
  EXPECT_NE(log.find("CreateMiniDump: " + dir_ + "/dumps/Vandru-49938.dmp\r\ncallstack: "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" [<unknown>:-1]\r\n"), std::string::npos) << log;
  EXPECT_EQ(Dump("Vandru-49938.dmp").rfind("signal 8 (SIGFPE)", 0), 0u);
}

}  // namespace
