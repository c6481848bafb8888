// Loading a compiled script library against loading the equivalent
// precompiled Lua 5.4 chunk, side by side.
//
// Both programs are generated with 2,000 functions: 100 classes (Lua:
// tables) of 20 methods, each with a local, a conditional, a call of its
// neighbour, arithmetic and a string. The GameScript source is compiled
// once to a .gsl file; the Lua source is compiled once and dumped to a
// binary chunk file (what "luac5.4" writes). Each iteration then starts
// from nothing: BM_GslLoadLink makes a machine, announces the file, and
// loads, checks and links the library; BM_LuaLoadChunk makes a Lua state
// and loads the binary chunk (luaL_loadfilex, mode "b"). Both read their
// file from the page cache and tear everything down again.
//
// BM_GslLoadManyClasses loads and links, the same way, libraries of 10,000
// to 1,000,000 small classes (a member of the class before and a function
// each; 1,000,000 of them make a source of about 57 MB), each compiled once
// before it is timed; every load takes fresh memory from the system, as a
// tool's does. A loader that finds classes and functions in constant time
// shows the same time per class ("per_class") at every size.
#include <benchmark/benchmark.h>
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
#include <malloc.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "kiv/File.h"

namespace {

constexpr int kClasses = 100;
constexpr int kMethods = 20;

std::string GameScriptSource() {
  std::string s;
  for (int c = 0; c < kClasses; ++c) {
    const std::string n = std::to_string(c);
    s += "class C" + n + " {\n  public int v;\n  void Note(string s);\n";
    for (int m = 0; m < kMethods; ++m) {
      const std::string k = std::to_string(m);
      s += "  public int M" + k + "(int n) {\n    int t = n + " + k + ";\n";
      if (m > 0) s += "    if (t > 3) t = M" + std::to_string(m - 1) + "(t - 1);\n";
      s += "    v = v + t;\n    if (v > 100) Note(\"c" + n + "m" + k +
           "\" + v);\n    return t * 2;\n  }\n";
    }
    s += "  void Note(string s) { }\n};\n";
  }
  return s;
}

std::string LuaSource() {
  std::string s;
  for (int c = 0; c < kClasses; ++c) {
    const std::string n = std::to_string(c);
    s += "C" + n + " = { v = 0 }\nfunction C" + n + ":Note(s) end\n";
    for (int m = 0; m < kMethods; ++m) {
      const std::string k = std::to_string(m);
      s += "function C" + n + ":M" + k + "(n)\n  local t = n + " + k + "\n";
      if (m > 0) s += "  if t > 3 then t = self:M" + std::to_string(m - 1) + "(t - 1) end\n";
      s += "  self.v = self.v + t\n  if self.v > 100 then self:Note(\"c" + n + "m" + k +
           "\" .. self.v) end\n";
      s += "  return t * 2\nend\n";
    }
  }
  return s;
}

int DumpWriter(lua_State*, const void* p, size_t size, void* out) {
  static_cast<std::string*>(out)->append(static_cast<const char*>(p), size);
  return 0;
}

// A scratch folder with bench.gsl and bench.luac, removed at exit.
struct Programs {
  std::filesystem::path folder;
  Kiv::PString root{"gslbench"};
  bool ok = false;

  Programs() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gslbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder = pattern;
    std::ofstream(folder / "bench.gs", std::ios::binary) << GameScriptSource();
    GSCompilerSetBackEnd(GSStandardBackEnd());
    CompileLog log;
    const std::string source = (folder / "bench.gs").string();
    const bool compiled = GSCompileFile(source.c_str(), nullptr, nullptr, &log) == 0;
    lua_State* L = luaL_newstate();
    const std::string lua = LuaSource();
    std::string chunk;
    const bool dumped = luaL_loadbuffer(L, lua.data(), lua.size(), "bench") == LUA_OK &&
                        lua_dump(L, DumpWriter, &chunk, 1) == 0;
    lua_close(L);
    std::ofstream(folder / "bench.luac", std::ios::binary) << chunk;
    Kiv::File::Subst(root, folder.string());
    ok = compiled && dumped;
  }
  ~Programs() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

Programs& Files() {
  static Programs programs;
  return programs;
}

// Makes a machine, announces `file` of `root` and loads, checks and links
// it, as a tool does from nothing; false when the library does not load.
bool LoadFromNothing(const Kiv::PString& root, const char* file) {
  GSMachine machine;
  machine.Init();
  GSRuntime::GSLibraryId id{};
  machine.AddLibrary(root, "", file, &id);
  GSRuntime::GSLibrary* library = machine.GetLibrary(id);
  benchmark::DoNotOptimize(library);
  return library != nullptr;
}

void BM_GslLoadLink(benchmark::State& state) {
  Programs& files = Files();
  if (!files.ok) return state.SkipWithError("could not compile the library");
  for (auto _ : state)
    if (!LoadFromNothing(files.root, "bench.gsl"))
      return state.SkipWithError("the library did not load");
  state.counters["functions"] = kClasses * kMethods;
  state.counters["bytes"] =
      static_cast<double>(std::filesystem::file_size(files.folder / "bench.gsl"));
}
BENCHMARK(BM_GslLoadLink)->Unit(benchmark::kMicrosecond);

// A scratch folder holding many.gsl, a library of `classes` classes.
struct ManyClasses {
  std::filesystem::path folder;
  Kiv::PString root{"gslmany"};
  bool ok = false;

  explicit ManyClasses(int classes) {
    std::string pattern = (std::filesystem::temp_directory_path() / "gslmany-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder = pattern;
    {
      std::ofstream out(folder / "many.gs", std::ios::binary);
      out << "class C0{public int v;public int F(){return v;}};\n";
      for (int i = 1; i < classes; ++i)
        out << "class C" << i << "{public C" << i - 1 << " p;public int F(){return " << i
            << ";}};\n";
    }
    GSCompilerSetBackEnd(GSStandardBackEnd());
    CompileLog log;
    const std::string source = (folder / "many.gs").string();
    ok = GSCompileFile(source.c_str(), nullptr, nullptr, &log) == 0;
    GSStandardBackEndRelease();
    std::filesystem::remove(folder / "many.gs");
    Kiv::File::Subst(root, folder.string());
  }
  ~ManyClasses() {
    Kiv::File::Subst(root, "");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

// The library of `classes` classes, compiled on first use.
const ManyClasses& ManyClassesLibrary(int classes) {
  static std::map<int, std::unique_ptr<ManyClasses>> made;
  std::unique_ptr<ManyClasses>& library = made[classes];
  if (library == nullptr) library = std::make_unique<ManyClasses>(classes);
  return *library;
}

void BM_GslLoadManyClasses(benchmark::State& state) {
  const int classes = static_cast<int>(state.range(0));
  const ManyClasses& files = ManyClassesLibrary(classes);
  if (!files.ok) return state.SkipWithError("could not compile the library");
  for (auto _ : state) {
    if (!LoadFromNothing(files.root, "many.gsl"))
      return state.SkipWithError("the library did not load");
    // The memory of this load goes back to the system, so that the next
    // load takes fresh memory at every size, as a tool's one load does
    // (otherwise only the smaller libraries would reuse the freed heap).
    state.PauseTiming();
    malloc_trim(0);
    state.ResumeTiming();
  }
  state.counters["classes"] = classes;
  state.counters["per_class"] = benchmark::Counter(
      classes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["bytes"] =
      static_cast<double>(std::filesystem::file_size(files.folder / "many.gsl"));
}
BENCHMARK(BM_GslLoadManyClasses)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);

void BM_LuaLoadChunk(benchmark::State& state) {
  Programs& files = Files();
  if (!files.ok) return state.SkipWithError("could not compile the chunk");
  const std::string path = (files.folder / "bench.luac").string();
  for (auto _ : state) {
    lua_State* L = luaL_newstate();
    if (luaL_loadfilex(L, path.c_str(), "b") != LUA_OK)
      return state.SkipWithError("the chunk did not load");
    benchmark::DoNotOptimize(lua_topointer(L, -1));
    lua_close(L);
  }
  state.counters["functions"] = kClasses * kMethods;
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}
BENCHMARK(BM_LuaLoadChunk)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
