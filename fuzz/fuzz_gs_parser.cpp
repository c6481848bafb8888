// Fuzzes the GameScript scanner and parser with arbitrary source bytes:
// every input must end in a status and at most one counted message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/GSParse.h"

namespace {

class CountingLog : public GSCompiler::CompileLogSink {
 public:
  void AppendLine(std::string_view line) override {
    if (line.empty() || line.size() > GSCompiler::kMaxMessageLength) std::abort();
    ++lines;
  }
  int lines = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GSCompiler::ParseArena arena;
  CountingLog log;
  GSCompiler::CompileDiagnostics diagnostics;
  diagnostics.fileName = "fuzz.gs";
  diagnostics.log = &log;
  GSCompiler::ParseResult result =
      GSCompiler::GSParseSource(reinterpret_cast<const char*>(data), size, diagnostics, arena);
  // A parse either succeeds silently with a tree or fails with one message.
  if (result.status == 0 && (result.root == nullptr || log.lines != 0)) std::abort();
  if (result.status != 0 && (result.root != nullptr || log.lines != 1)) std::abort();
  if (result.errorCount != diagnostics.errorCount) std::abort();
  return 0;
}
