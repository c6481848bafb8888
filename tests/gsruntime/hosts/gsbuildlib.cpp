// gsbuildlib: the build and test tool that compiles GameScript sources into
// libraries in-process, with the compiler's own back end. The build uses it
// for the standard script libraries (gsnative/libraries/), the script tests
// for theirs:
//
//   gsbuildlib -o FOLDER [-i INCLUDE-FOLDER]... SOURCE.gs...
//
// Each source is compiled into FOLDER/<name>.gsl (the folder must exist);
// the compiler's log lines go to standard output. Exit status: 0 when every
// source compiled, 1 when one did not, 2 for bad usage.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "gscompiler/CompileLog.h"
#include "gscompiler/CompileUnit.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gscompiler/IncludePathList.h"

int main(int argc, char** argv) {
  std::string output;
  std::vector<std::string> includes;
  std::vector<std::string> sources;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "-o" || arg == "-i") && i + 1 < argc) {
      (arg == "-o" ? output : includes.emplace_back()) = argv[++i];
      continue;
    }
    sources.emplace_back(arg);
  }
  if (output.empty() || sources.empty()) {
    std::fprintf(stderr, "usage: gsbuildlib -o FOLDER [-i INCLUDE-FOLDER]... SOURCE.gs...\n");
    return 2;
  }
  GSCompilerSetBackEnd(GSStandardBackEnd());
  IncludePathList paths;
  for (const std::string& folder : includes) paths.Append(Kiv::File::Path(folder));
  int failed = 0;
  for (const std::string& source : sources) {
    CompileLog log;
    const int result = GSCompileFile(source.c_str(), (output + "/").c_str(), &paths, &log);
    for (const char* line = log.TakeLine(); line != nullptr; line = log.TakeLine())
      std::printf("%s\n", line);
    failed += result != 0;
  }
  PathListClear(paths);
  return failed != 0 ? 1 : 0;
}
