// Script natives on large inputs, through the interpreter and the
// standard script libraries of the build (<build>/libraries):
// - KUIDList: n distinct KUIDs added to a list, then each tested for
//   membership (the KUIDs are made from text through a soup beforehand);
//   against a Lua table used as a set of the same packed identities;
// - Soup as a map: n named tags set, then each read back; against a Lua
//   table with the same string keys;
// - LinkedList: n entries with pseudo-random string keys sorted by key.
// Each should grow linearly or as n log n; n = 1,000, 10,000, 100,000.
#include <benchmark/benchmark.h>
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include "NativeScriptBench.h"

namespace {

constexpr const char* kGameScript = R"(
include "Constructors.gs"
include "gs.gs"

class Bench {
  KUID[] ids;
  KUIDList list;
  LinkedData[] entries;
  public int MakeKUIDs(int n) {
    Soup soup = ConstructorsBase.NewSoup();
    ids = new KUID[0];
    int i;
    for (i = 0; i < n; i++) {
      soup.SetNamedTag("k", "<kuid:1:" + i + ">");
      ids[i] = soup.GetNamedTagAsKUID("k");
    }
    return ids.size();
  }
  public int AddAll(int n) {
    list = ConstructorsBase.NewKUIDList();
    int i;
    for (i = 0; i < n; i++) list.AddKUID(ids[i]);
    return list.CountKUIDs();
  }
  public int CheckAll(int n) {
    int i, found = 0;
    for (i = 0; i < n; i++) if (list.HasKUID(ids[i])) found++;
    return found;
  }
  public int SoupAsMap(int n) {
    Soup soup = ConstructorsBase.NewSoup();
    int i, found = 0;
    for (i = 0; i < n; i++) soup.SetNamedTag("key" + i, i);
    for (i = 0; i < n; i++) if (soup.GetNamedTagAsInt("key" + i) == i) found++;
    return found;
  }
  public int MakeEntries(int n) {
    entries = new LinkedData[0];
    int i, seed = 7;
    for (i = 0; i < n; i++) {
      seed = (seed * 1103515245 + 12345) & 2147483647;
      LinkedData d = new LinkedData();
      d.key = "k" + seed;
      entries[i] = d;
    }
    return entries.size();
  }
  public int Sort(int n) {
    LinkedList helper = new LinkedList();
    helper.SortInternal(entries);
    return entries.size();
  }
};
)";

using NativesBench = NativeScriptBench;

NativesBench& Bench() {
  static NativesBench bench(kGameScript, "gsnativesbench", "gsnat");
  return bench;
}

constexpr const char* kLua = R"(
function SetAddHas(n)
  local set, found = {}, 0
  for i = 0, n - 1 do set[(1 << 32) | i] = true end
  for i = 0, n - 1 do if set[(1 << 32) | i] then found = found + 1 end end
  return found
end
function TableAsMap(n)
  local t, found = {}, 0
  for i = 0, n - 1 do t["key" .. i] = i end
  for i = 0, n - 1 do if t["key" .. i] == i then found = found + 1 end end
  return found
end
)";

// Calls the global Lua function `name` with n per iteration; it must answer n.
void RunLua(benchmark::State& state, const char* name) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  if (luaL_dostring(L, kLua) != LUA_OK) return state.SkipWithError("the Lua program did not load");
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    lua_getglobal(L, name);
    lua_pushinteger(L, n);
    if (lua_pcall(L, 1, 1, 0) != LUA_OK || lua_tointeger(L, -1) != n)
      return state.SkipWithError("the Lua call failed");
    lua_pop(L, 1);
  }
  lua_close(L);
  state.SetComplexityN(n);
}

void BM_KUIDListAddHas(benchmark::State& state) {
  NativesBench& bench = Bench();
  if (bench.cls == nullptr) return state.SkipWithError("the libraries did not compile or load");
  const int n = static_cast<int>(state.range(0));
  if (bench.Call("$int@Bench::MakeKUIDs(int)", n) != n)
    return state.SkipWithError("the KUIDs were not made");
  for (auto _ : state) {
    if (bench.Call("$int@Bench::AddAll(int)", n) != n ||
        bench.Call("$int@Bench::CheckAll(int)", n) != n)
      return state.SkipWithError("the list is wrong");
  }
  state.SetComplexityN(n);
}

void BM_LuaSetAddHas(benchmark::State& state) {
  RunLua(state, "SetAddHas");
}

void BM_SoupAsMap(benchmark::State& state) {
  NativesBench& bench = Bench();
  if (bench.cls == nullptr) return state.SkipWithError("the libraries did not compile or load");
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (bench.Call("$int@Bench::SoupAsMap(int)", n) != n)
      return state.SkipWithError("the soup lost a key");
  }
  state.SetComplexityN(n);
}

void BM_LuaTableAsMap(benchmark::State& state) {
  RunLua(state, "TableAsMap");
}

void BM_LinkedListSort(benchmark::State& state) {
  NativesBench& bench = Bench();
  if (bench.cls == nullptr) return state.SkipWithError("the libraries did not compile or load");
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    const int made = bench.Call("$int@Bench::MakeEntries(int)", n);
    state.ResumeTiming();
    if (made != n || bench.Call("$int@Bench::Sort(int)", n) != n)
      return state.SkipWithError("the sort did not run");
  }
  state.SetComplexityN(n);
}

}  // namespace

BENCHMARK(BM_KUIDListAddHas)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_LuaSetAddHas)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoupAsMap)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaTableAsMap)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinkedListSort)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK_MAIN();
