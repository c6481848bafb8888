// The tool's entry point: the help text, one command from the command line,
// or the lines of a batch file ("@<file>"), between engine start-up and
// shut-down. After a command the process ends with _exit (after flushing
// the standard streams), so no static destructor runs; the early exits
// (help, failed start-up, missing batch file) return normally.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "cli/BatchFile.h"
#include "cli/EngineObjects.h"
#include "cli/EngineStartup.h"
#include "cli/HelpText.h"
#include "cli/RunCommand.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/layout/FolderLayout.h"
#include "gsruntime/GSPrintHook.h"
#include "kiv/File.h"
#include "kiv/PString.h"

namespace {

[[noreturn]] void EndProcess(int32_t status) {
  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

// A write past the file-size limit (RLIMIT_FSIZE) then fails with EFBIG
// and is reported like any failed write, instead of ending the process.
void IgnoreFileSizeSignal() {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

bool IsHelpWord(const char* word) {
  Kiv::PString text(word);
  text.ToLower();
  return text.View() == "help";
}

}  // namespace

int main(int argc, char** argv) {
  IgnoreFileSizeSignal();
  Kiv::File::Path modulePath;
  if (!GetModulePath(&modulePath)) return -1;
  if (argc < 2) {
    PrintHelp(stdout);
    return -1;
  }
  if (IsHelpWord(argv[1])) {
    PrintHelp(stdout);
    return 0;
  }

  EngineObjects engine{};
  if (!InitEngine(engine, argv[0], argc, argv)) {
    std::fputs("- Init failed\n", stderr);
    ShutdownEngine(engine);
    return -1;
  }
  SetApplicationName("VandruUtil");
  GSPrintHook = ScriptLogCallback;

  int32_t status = 0;
  if (argv[1][0] == '@') {
    status = RunBatchFile(argv[1] + 1, engine, argv[0]);
    if (status == kBatchFileMissing) {
      ShutdownEngine(engine);
      std::fflush(stdout);
      return -1;
    }
  } else {
    ResultsLog log;
    status = RunCommandGuarded(log, engine, argc, argv);
    PrintCommandResults(log, std::cout);
  }
  ShutdownEngine(engine);
  EndProcess(status);
}
