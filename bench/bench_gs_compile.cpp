// GameScript compile throughput against the Lua 5.4 compiler, side by side.
//
// Both sources are generated, about 30,000 lines each, of the same shape:
// many small classes (Lua: tables of functions) with fields, loops,
// conditionals, string building and calls. BM_GSCompile runs the whole
// compiler on a source file (read, parse, check, generate code, write the
// library into memory; nothing is written to disk); BM_GSParse the front
// end alone. BM_LuaLoad compiles the Lua source with luaL_loadbuffer in
// this process (liblua5.4; the same work as "luac5.4 -p" without the
// process start). The "lines/s" counters compare directly.
#include <benchmark/benchmark.h>
#include <lauxlib.h>
#include <lua.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSParse.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gscompiler/IncludePathList.h"

namespace {

constexpr int kClasses = 750;

int CountLines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

// The template with every "@" replaced by `n` and "$" by `base`.
std::string Fill(const char* pattern, int n, const std::string& base) {
  std::string out;
  const std::string number = std::to_string(n);
  for (const char* p = pattern; *p; ++p) {
    if (*p == '@')
      out += number;
    else if (*p == '$')
      out += base;
    else
      out += *p;
  }
  return out;
}

const char kGameScriptClass[] =
    "class C@$\n{\n"
    "  public int count@;\n"
    "  float scale@ = 1.5;\n"
    "  string name@ = \"c@\";\n"
    "  int[] values@;\n\n"
    "  public int Sum@(int n)\n  {\n"
    "    int i, total = 0;\n"
    "    values@ = new int[n];\n"
    "    for (i = 0; i < n; ++i) {\n"
    "      values@[i] = i * @;\n"
    "      if (i % 3 == 0) total = total + values@[i];\n"
    "      else total = total - 1;\n"
    "    }\n"
    "    while (total > 1000) total = total / 2;\n"
    "    return total;\n  }\n\n"
    "  public string Describe@(float f)\n  {\n"
    "    string s = name@ + \": \" + count@;\n"
    "    if (f > scale@ and count@ != 0) s = s + \" big \" + f;\n"
    "    switch (count@) {\n"
    "      case 0: s = s + \"zero\"; break;\n"
    "      case 1: s = s + \"one\"; break;\n"
    "      default: s = s[0, 4];\n"
    "    }\n"
    "    return s;\n  }\n\n"
    "  public void Step@()\n  {\n"
    "    count@++;\n"
    "    Sum@(count@ % 16);\n"
    "    Describe@((float)count@);\n"
    "  }\n};\n\n";

const char kLuaClass[] =
    "C@ = setmetatable({\n"
    "  count@ = 0,\n"
    "  scale@ = 1.5,\n"
    "  name@ = \"c@\",\n"
    "  values@ = nil,\n"
    "}, { __index = $ })\n\n"
    "function C@:Sum@(n)\n"
    "  local total = 0\n"
    "  self.values@ = {}\n"
    "  for i = 0, n - 1 do\n"
    "    self.values@[i] = i * @\n"
    "    if i % 3 == 0 then total = total + self.values@[i]\n"
    "    else total = total - 1\n"
    "    end\n"
    "  end\n"
    "  while total > 1000 do total = total // 2 end\n"
    "  return total\n"
    "end\n\n"
    "function C@:Describe@(f)\n"
    "  local s = self.name@ .. \": \" .. self.count@\n"
    "  if f > self.scale@ and self.count@ ~= 0 then s = s .. \" big \" .. f end\n"
    "  local c = self.count@\n"
    "  if c == 0 then s = s .. \"zero\"\n"
    "  elseif c == 1 then s = s .. \"one\"\n"
    "  else s = string.sub(s, 1, 4)\n"
    "  end\n"
    "  return s\n"
    "end\n\n"
    "function C@:Step@()\n"
    "  self.count@ = self.count@ + 1\n"
    "  self:Sum@(self.count@ % 16)\n"
    "  self:Describe@(self.count@ + 0.0)\n"
    "end\n"
    "-- C@ has a field per kind, a loop with\n"
    "-- a conditional, string building and\n"
    "-- calls between its methods\n\n";

std::string GameScriptSource(int classes = kClasses) {
  std::string s;
  for (int i = 0; i < classes; ++i)
    s += Fill(kGameScriptClass, i, i >= 10 ? " isclass C" + std::to_string(i % 10) : "");
  return s;
}

std::string LuaSource(int classes = kClasses) {
  std::string s;
  for (int i = 0; i < classes; ++i)
    s += Fill(kLuaClass, i, i >= 10 ? "C" + std::to_string(i % 10) : "nil");
  return s;
}

// A scratch folder holding the GameScript source, removed at exit.
struct SourceFolder {
  std::filesystem::path folder;
  std::string text;
  int lines = 0;

  SourceFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gsbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder = pattern;
    text = GameScriptSource();
    lines = CountLines(text);
    std::ofstream(folder / "bench.gs", std::ios::binary) << text;
  }
  ~SourceFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

SourceFolder& Source() {
  static SourceFolder source;
  return source;
}

void BM_GSCompile(benchmark::State& state) {
  SourceFolder& source = Source();
  GSCompilerSetBackEnd(GSStandardBackEnd());
  IncludePathList& paths = GSCompilerIncludePaths();
  PathListClear(paths);
  GSCompilerAddIncludePath(source.folder.string());
  for (auto _ : state) {
    CompileLog log;
    const int result = GSCompileToLibrary("bench.gs", nullptr, &log);
    if (result != 0) {
      const char* line = log.TakeLine();
      state.SkipWithError(line ? line : "compile failed");
      break;
    }
  }
  PathListClear(paths);
  state.counters["lines"] = source.lines;
  state.counters["lines/s"] =
      benchmark::Counter(source.lines, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GSCompile)->Unit(benchmark::kMillisecond);

void BM_GSParse(benchmark::State& state) {
  const SourceFolder& source = Source();
  for (auto _ : state) {
    GSCompiler::ParseArena arena;
    GSCompiler::CompileDiagnostics diagnostics;
    diagnostics.fileName = "bench.gs";
    const GSCompiler::ParseResult result =
        GSCompiler::GSParseSource(source.text.data(), source.text.size(), diagnostics, arena);
    benchmark::DoNotOptimize(result.root);
  }
  state.counters["lines/s"] =
      benchmark::Counter(source.lines, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GSParse)->Unit(benchmark::kMillisecond);

void BM_LuaLoad(benchmark::State& state) {
  static const std::string text = LuaSource();
  const int lines = CountLines(text);
  lua_State* L = luaL_newstate();
  for (auto _ : state) {
    if (luaL_loadbuffer(L, text.data(), text.size(), "bench.lua") != LUA_OK) {
      state.SkipWithError(lua_tostring(L, -1));
      break;
    }
    lua_settop(L, 0);
  }
  lua_close(L);
  state.counters["lines"] = lines;
  state.counters["lines/s"] =
      benchmark::Counter(lines, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LuaLoad)->Unit(benchmark::kMillisecond);

// "--emit gs|lua CLASSES": the generated source of CLASSES classes on
// standard output instead of the benchmarks (for compile_vs_luac.sh).
int Emit(const std::string& language, int classes) {
  const std::string text = language == "gs" ? GameScriptSource(classes) : LuaSource(classes);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--emit") return Emit(argv[2], std::atoi(argv[3]));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
