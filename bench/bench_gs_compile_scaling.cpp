// How the GameScript compiler's time grows with the size of one source.
//
// Each shape is generated at 1, 2, 4, 8, 16 and 32 MB and compiled whole
// (read, parse, check, generate code, write the library into memory), as
// BM_GSCompile does. A compiler that is linear in its input shows the same
// time per line (and per MB) at every size of a shape:
//
//   literal     one string literal of the whole size
//   identifier  one member whose name is half the size, declared and used
//   functions   one class of one-line functions, each calling the one before
//   body        one function of assignments and branches over a few locals
//   classes     many small classes, each with a member and a function
//   statements  one function of the same short statement, many times
//
// Counters: "lines", "per_line" and "per_MB" (seconds, inverted rates).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gscompiler/IncludePathList.h"

namespace {

enum Shape { kLiteral, kIdentifier, kFunctions, kBody, kClasses, kStatements };

constexpr size_t kMB = size_t{1} << 20;

// Appends lines made by `line(i)` until the text holds `size` bytes.
template <typename Line>
void Repeat(std::string& out, size_t size, Line line) {
  for (int i = 0; out.size() < size; ++i) out += line(i);
}

std::string Source(Shape shape, size_t size) {
  std::string s;
  s.reserve(size + 256);
  switch (shape) {
    case kLiteral:
      s = "class C\n{\n  public string F() { return \"";
      s.append(size, 'x');
      s += "\"; }\n};\n";
      break;
    case kIdentifier: {
      const std::string name(size / 2, 'a');
      s = "class C\n{\n  public int " + name + ";\n  public int F() { return " + name + "; }\n};\n";
      break;
    }
    case kFunctions:
      s = "class C\n{\n";
      Repeat(s, size, [](int i) {
        const std::string n = std::to_string(i);
        return "  public int F" + n + "(int a) { return F" + std::to_string(i > 0 ? i - 1 : 0) +
               "(a) + " + n + "; }\n";
      });
      s += "};\n";
      break;
    case kBody:
      s = "class C\n{\n  public string F(int n)\n  {\n    int a = 0, v0, v1, v2, v3, v4, v5, v6, v7;\n"
          "    string s;\n";
      Repeat(s, size, [](int i) {
        const std::string v = "v" + std::to_string(i % 8);
        return "    " + v + " = a + " + std::to_string(i) + ";\n    if (" + v +
               " > n) { a = a - 1; s = \"t" + std::to_string(i % 4096) + "\"; } else a = a + v" +
               std::to_string((i + 1) % 8) + ";\n";
      });
      s += "    return s;\n  }\n};\n";
      break;
    case kClasses:
      Repeat(s, size, [](int i) {
        const std::string n = std::to_string(i);
        return "class C" + n + "\n{\n  public int v" + n + ";\n  public int F() { return v" + n +
               " + " + n + "; }\n};\n";
      });
      break;
    case kStatements:
      s = "class C\n{\n  public int F(int n)\n  {\n    int a = 0;\n";
      Repeat(s, size, [](int) { return std::string("    a = a + n;\n"); });
      s += "    return a;\n  }\n};\n";
      break;
  }
  return s;
}

// A scratch folder holding one source, removed at the end.
struct ScratchSource {
  std::filesystem::path folder;
  size_t bytes = 0;
  int lines = 0;

  ScratchSource(Shape shape, size_t size) {
    std::string pattern = (std::filesystem::temp_directory_path() / "gsscale-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder = pattern;
    const std::string text = Source(shape, size);
    bytes = text.size();
    for (char c : text) lines += c == '\n';
    std::ofstream(folder / "scale.gs", std::ios::binary) << text;
  }
  ~ScratchSource() {
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }
};

void BM_GSCompileScaling(benchmark::State& state, Shape shape) {
  const ScratchSource source(shape, static_cast<size_t>(state.range(0)) * kMB);
  if (source.folder.empty()) {
    state.SkipWithError("no scratch folder");
    return;
  }
  GSCompilerSetBackEnd(GSStandardBackEnd());
  IncludePathList& paths = GSCompilerIncludePaths();
  PathListClear(paths);
  GSCompilerAddIncludePath(source.folder.string());
  for (auto _ : state) {
    CompileLog log;
    if (GSCompileToLibrary("scale.gs", nullptr, &log) != 0) {
      const char* line = log.TakeLine();
      state.SkipWithError(line ? line : "compile failed");
      break;
    }
  }
  PathListClear(paths);
  // What the compiler keeps of this compile is not freed by the next one.
  GSStandardBackEndRelease();
  const double megabytes = static_cast<double>(source.bytes) / kMB;
  state.counters["lines"] = source.lines;
  state.counters["per_line"] = benchmark::Counter(
      source.lines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["per_MB"] = benchmark::Counter(
      megabytes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Sizes in MB, one compile each (a 32 MB compile takes seconds).
#define VU_SCALING(shape)                                                                \
  BENCHMARK_CAPTURE(BM_GSCompileScaling, shape, k##shape)                                \
      ->RangeMultiplier(2)                                                               \
      ->Range(1, 32)                                                                     \
      ->Unit(benchmark::kMillisecond)                                                    \
      ->Iterations(1)

VU_SCALING(Literal);
VU_SCALING(Identifier);
VU_SCALING(Functions);
VU_SCALING(Body);
VU_SCALING(Classes);
VU_SCALING(Statements);

}  // namespace

BENCHMARK_MAIN();
