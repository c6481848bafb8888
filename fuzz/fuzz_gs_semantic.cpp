// Fuzzes the semantic pass: every source that parses is checked, fully and
// in declarations-only mode; each must end with every message counted and
// without a crash, whatever the tree holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/GSParse.h"
#include "gscompiler/GSSemanticCheck.h"
#include "gscompiler/GSSymbolTable.h"

namespace {

class CountingLog : public GSCompiler::CompileLogSink {
 public:
  void AppendLine(std::string_view line) override {
    if (line.size() > GSCompiler::kMaxMessageLength) std::abort();
    ++lines;
  }
  uint32_t lines = 0;
};

void CheckOnce(const uint8_t* data, size_t size, bool declarationsOnly) {
  GSCompiler::ParseArena arena;
  CountingLog log;
  GSCompiler::CompileDiagnostics diagnostics;
  diagnostics.fileName = "fuzz.gs";
  diagnostics.log = &log;
  GSCompiler::ParseResult parsed =
      GSCompiler::GSParseSource(reinterpret_cast<const char*>(data), size, diagnostics, arena);
  if (parsed.root == nullptr) return;
  GSCompiler::GSSymbolTable table;
  GSCompiler::GSDependentSymbol* self = table.NewDependent("fuzz.gs", 0, 0);
  table.Insert(nullptr, self, false);
  table.SetCurrentUnit(self);
  GSCompiler::CheckState state;
  state.declarationsOnly = declarationsOnly;
  GSCompiler::SemanticContext context{&diagnostics, &table, &arena};
  const bool passed = GSCompiler::CheckTree(state, parsed.root, context);
  // Every line is a counted error, and a failed check leaves a message.
  if (log.lines != diagnostics.errorCount) std::abort();
  if (!passed && !state.abort && log.lines == 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckOnce(data, size, false);
  CheckOnce(data, size, true);
  return 0;
}
