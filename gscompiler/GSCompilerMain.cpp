#include <cstdio>
#include <cstring>

#include "gscompiler/GSCompiler.h"
#include "gscompiler/ParseNode.h"

namespace {

constexpr int kLogGrowStep = 128;
constexpr double kCompilerVersion = 1.02;

const char* ProgramName(const char* path) {
  if (path == nullptr) return "";
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  }
  return name;
}

void PrintUsage(const char* program) {
  std::printf("ORVAK GameScript Compiler V%4.2f\n\n", kCompilerVersion);
  std::printf("%s returns number of compile errors\n", program);
  std::printf("%s <option> <option>..\nwhere <option> is one of the following\n\n", program);
  std::printf("<-d> print documentation, u might wanna pipe it to a text document =)\n");
  std::printf("<-s> silent\n");
  std::printf("<-bfilename> dump the build info (compile log) to file\n");
  std::printf("<-ppathname> output path\n");
  std::printf("<-ofilename> output library filename\n");
  std::printf("<filename> input source file\n");
  std::printf("<-ipathname> additional include path\n");
}

// Writes every line of the log to the build log (when named) and, unless
// silent, to standard output.
void DrainLog(CompileLog& log, const char* buildLog, bool silent) {
  FILE* file = buildLog != nullptr ? std::fopen(buildLog, "a+") : nullptr;
  for (const char* line = log.TakeLine(); line != nullptr; line = log.TakeLine()) {
    if (file != nullptr) std::fprintf(file, "%s\n", line);
    if (!silent) std::printf("%s\n", line);
  }
  if (file != nullptr) std::fclose(file);
}

// The command line compiles one source: the parse nodes that code
// generation frees give their pages back at once instead of staying for a
// next compile, so the compile's memory falls while it writes code. The
// previous limit comes back afterwards.
class SingleCompileMemory {
 public:
  SingleCompileMemory() : previous_(GSCompiler::ParseNodeBlocks::SetResidentLimit(0)) {}
  ~SingleCompileMemory() { GSCompiler::ParseNodeBlocks::SetResidentLimit(previous_); }
  SingleCompileMemory(const SingleCompileMemory&) = delete;
  SingleCompileMemory& operator=(const SingleCompileMemory&) = delete;

 private:
  size_t previous_;
};

}  // namespace

int GSCompilerMain(int argc, char** argv) {
  IncludePathList includes;
  CompileLog log;
  log.SetGrowStep(kLogGrowStep);
  log.ShowNamesEscaped();  // the lines are printed as they are
  const char* source = nullptr;
  const char* buildLog = nullptr;
  const char* outputPath = nullptr;
  bool silent = false;

  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (word == nullptr) continue;
    if (word[0] != '-') {
      source = word;
      continue;
    }
    const char* value = word[1] != '\0' ? word + 2 : word + 1;
    switch (word[1]) {
      case 's':
        silent = true;
        break;
      case 'b':
        buildLog = value;
        break;
      case 'p':
        outputPath = value;
        break;
      case 'i':
        includes.Append(Kiv::File::Path(value));
        break;
      case 'd':
        std::printf("%s\n", GSCompilerDocumentation());
        std::fflush(stdout);
        PathListClear(includes);
        GSCompilerResetLog(&log);
        return 0;
      default:
        break;  // "-c", "-t", "-l", "-o", a lone "-" and the rest
    }
  }

  int result;
  if (argc <= 1 || source == nullptr || source[0] == '\0') {
    PrintUsage(ProgramName(argc > 0 ? argv[0] : nullptr));
    result = 1;
  } else {
    const SingleCompileMemory memory;
    result = GSCompileFile(source, outputPath, &includes, &log);
  }
  DrainLog(log, buildLog, silent);
  std::fflush(stdout);
  PathListClear(includes);
  GSCompilerResetLog(&log);
  return result;
}
