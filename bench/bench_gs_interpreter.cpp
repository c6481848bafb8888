// The byte-code interpreter against Lua 5.4, same algorithms side by side,
// compile time excluded (both programs are compiled once, before timing):
// - Xor: a while loop summing i by XOR for i < 250,000;
// - Fib: Fib(25) by naive recursion, a method of an object (Lua: a method
//   of a table) and a function of a static class (Lua: a global function);
// - FloatLoop: a while loop of float multiplications and additions;
// - EmptyCall: one call from C++ into an empty script function;
// - Concat: a string built by 10,000 (and 20,000) concatenations of one
//   character;
// - Append: an array grown by storing past its end, 100,000 (and 200,000)
//   times (Lua: t[#t + 1] = i).
// Every GameScript run must end with ER_Done: each fits in the
// interpreter's budget of 16,777,216 code bytes per run.
#include <benchmark/benchmark.h>
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "kiv/File.h"

namespace {

using namespace GSRuntime;

constexpr const char* kGameScript = R"(
static class Recursion {
  public int Fib(int n) {
    if (n < 2) return n;
    return Fib(n - 1) + Fib(n - 2);
  }
};

class Bench {
  public int Xor(int n) {
    int s = 0;
    int i = 0;
    while (i < n) { s = s ^ i; i = i + 1; }
    return s;
  }
  public int Fib(int n) {
    if (n < 2) return n;
    return Fib(n - 1) + Fib(n - 2);
  }
  public int FibStatic(int n) { return Recursion.Fib(n); }
  public int FloatLoop(int n) {
    float s = 0.0;
    float x = 0.5;
    int i = 0;
    while (i < n) { s = s + x * 1.0001; x = x + 0.25; i = i + 1; }
    return (int)(s / 1000000.0);
  }
  public int Empty(int n) { return n; }
  public int Concat(int n) {
    string s = "";
    int i = 0;
    while (i < n) { s = s + "x"; i = i + 1; }
    return s.size();
  }
  public int Append(int n) {
    int[] a = new int[0];
    int i = 0;
    while (i < n) { a[i] = i; i = i + 1; }
    return a.size();
  }
};
)";

constexpr const char* kLua = R"(
Bench = {}
function Bench:Xor(n)
  local s = 0
  local i = 0
  while i < n do s = s ~ i; i = i + 1 end
  return s
end
function Bench:Fib(n)
  if n < 2 then return n end
  return self:Fib(n - 1) + self:Fib(n - 2)
end
function Fib(n)
  if n < 2 then return n end
  return Fib(n - 1) + Fib(n - 2)
end
function Bench:FibStatic(n) return Fib(n) end
function Bench:FloatLoop(n)
  local s = 0.0
  local x = 0.5
  local i = 0
  while i < n do s = s + x * 1.0001; x = x + 0.25; i = i + 1 end
  return math.tointeger(s // 1000000.0)
end
function Bench:Empty(n) return n end
function Bench:Concat(n)
  local s = ""
  local i = 0
  while i < n do s = s .. "x"; i = i + 1 end
  return #s
end
function Bench:Append(n)
  local t = {}
  local i = 0
  while i < n do t[#t + 1] = i; i = i + 1 end
  return #t
end
)";

// The compiled library, a machine, a context and one Bench object.
struct GameScriptBench {
  std::filesystem::path folder;
  Kiv::PString root{"gsinterpbench"};
  GSMachine machine;
  GSContext* context = nullptr;
  GSObject* object = nullptr;
  GSClass* cls = nullptr;

  GameScriptBench() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gsbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder = pattern;
    std::ofstream(folder / "bench.gs", std::ios::binary) << kGameScript;
    GSCompilerSetBackEnd(GSStandardBackEnd());
    CompileLog log;
    const std::string source = (folder / "bench.gs").string();
    if (GSCompileFile(source.c_str(), nullptr, nullptr, &log) != 0) return;
    Kiv::File::Subst(root, folder.string());
    machine.Init();
    GSLibraryId id{};
    machine.AddLibrary(root, "", "bench.gsl", &id);
    GSLibrary* library = machine.GetLibrary(id);
    cls = library != nullptr ? library->FindClass("Bench") : nullptr;
    if (cls == nullptr) return;
    context = new GSContext;
    object = new GSObject;
    if (!object->AttachScriptInstance(cls, context)) cls = nullptr;
  }
  ~GameScriptBench() {
    delete object;
    delete context;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  bool Call(const char* signature, int n, int32_t& result) {
    GSValue value = 0;
    const GSValue arg = GSFromInt(n);
    if (!GSObject::InvokeFunction(cls, object->GetScriptInstance(), signature, {&arg, 1}, &value))
      return false;
    result = GSInt(value);
    return true;
  }
};

GameScriptBench& Script() {
  static GameScriptBench bench;
  return bench;
}

void RunScript(benchmark::State& state, const char* signature) {
  GameScriptBench& bench = Script();
  if (bench.cls == nullptr) return state.SkipWithError("the library did not compile or load");
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    int32_t result = 0;
    if (!bench.Call(signature, n, result)) return state.SkipWithError("the run did not end");
    benchmark::DoNotOptimize(result);
  }
  state.SetComplexityN(n);
}

void RunLua(benchmark::State& state, const char* method) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  if (luaL_dostring(L, kLua) != LUA_OK) return state.SkipWithError("the Lua program did not load");
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    lua_getglobal(L, "Bench");
    lua_getfield(L, -1, method);
    lua_pushvalue(L, -2);
    lua_pushinteger(L, n);
    if (lua_pcall(L, 2, 1, 0) != LUA_OK) return state.SkipWithError("the Lua call failed");
    benchmark::DoNotOptimize(lua_tointeger(L, -1));
    lua_pop(L, 2);
  }
  lua_close(L);
  state.SetComplexityN(n);
}

void BM_GSXor(benchmark::State& s) {
  RunScript(s, "$int@Bench::Xor(int)");
}
void BM_LuaXor(benchmark::State& s) {
  RunLua(s, "Xor");
}
// Fib as a method, or through a function of a static class.
void BM_GSFib(benchmark::State& s, const char* signature) {
  RunScript(s, signature);
}
void BM_LuaFib(benchmark::State& s, const char* method) {
  RunLua(s, method);
}
void BM_GSFloatLoop(benchmark::State& s) {
  RunScript(s, "$int@Bench::FloatLoop(int)");
}
void BM_LuaFloatLoop(benchmark::State& s) {
  RunLua(s, "FloatLoop");
}
// One call from C++ into the script per iteration.
void BM_GSEmptyCall(benchmark::State& s) {
  RunScript(s, "$int@Bench::Empty(int)");
}
void BM_LuaEmptyCall(benchmark::State& s) {
  RunLua(s, "Empty");
}
void BM_GSConcat(benchmark::State& s) {
  RunScript(s, "$int@Bench::Concat(int)");
}
void BM_LuaConcat(benchmark::State& s) {
  RunLua(s, "Concat");
}
void BM_GSAppend(benchmark::State& s) {
  RunScript(s, "$int@Bench::Append(int)");
}
void BM_LuaAppend(benchmark::State& s) {
  RunLua(s, "Append");
}

BENCHMARK(BM_GSXor)->Arg(250000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LuaXor)->Arg(250000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GSFib, method, "$int@Bench::Fib(int)")
    ->Arg(25)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LuaFib, method, "Fib")->Arg(25)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GSFib, static, "$int@Bench::FibStatic(int)")
    ->Arg(25)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LuaFib, static, "FibStatic")->Arg(25)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GSFloatLoop)->Arg(250000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LuaFloatLoop)->Arg(250000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GSEmptyCall)->Arg(1);
BENCHMARK(BM_LuaEmptyCall)->Arg(1);
BENCHMARK(BM_GSConcat)->Arg(10000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LuaConcat)->Arg(10000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GSAppend)->Arg(100000)->Arg(200000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LuaAppend)->Arg(100000)->Arg(200000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
