// Messages between two game objects against Lua 5.4 coroutines:
// - GameScript: a thread of one object sends "Ping" to the other and waits
//   for "Pong"; the other's handler posts the "Pong" back, which the pump
//   (tests/gsruntime/hosts/RouterPump.h) delivers on the next tick. One
//   round trip is two messages, a handler run and a thread resumption.
// - Lua: two coroutines resumed in turn, each yielding its message, so
//   there are as many resumptions and yields as GameScript has messages.
// The argument is the number of messages (100,000).
#include <benchmark/benchmark.h>
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "RouterPump.h"
#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSRouter.h"
#include "kiv/File.h"

namespace {

using namespace GSRuntime;

constexpr const char* kGameScript = R"(
include "gs.gs"
class Echo isclass GameObject {
  void OnPing(Message msg) { PostMessage(msg.src, "Bench", "Pong", 0.0); }
};
class Player isclass GameObject {
  int received = 0;
  Echo echo;
  public int Received() { return received; }
  thread void Play(int rounds) {
    Message msg;
    int i = 0;
    while (i < rounds) {
      SendMessage(echo, "Bench", "Ping");
      wait() { on "Bench", "Pong", msg: received++; }
      i++;
    }
  }
  void Start(int rounds) {
    echo = new Echo();
    echo.AddHandler(echo, "Bench", "Ping", "OnPing");
    Play(rounds);
  }
};
)";

constexpr const char* kLua = R"(
function Exchange(messages)
  local rounds = messages // 2
  local player = coroutine.create(function()
    for i = 1, rounds do coroutine.yield("Ping") end
  end)
  local echo = coroutine.create(function(msg)
    while true do msg = coroutine.yield("Pong") end
  end)
  local received = 0
  for i = 1, rounds do
    local _, ping = coroutine.resume(player)
    local _, pong = coroutine.resume(echo, ping)
    if pong == "Pong" then received = received + 1 end
  end
  return received
end
)";

// The compiled libraries on the process's machine (the Message class is
// looked up there).
struct MessageBench {
  std::filesystem::path folder;
  Kiv::PString root{"gsmsgbench"};
  GSClass* cls = nullptr;

  MessageBench() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gsmsg-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder = pattern;
    std::filesystem::copy_file(VU_SOURCE_DIR "/gsnative/libraries/gs.gs", folder / "gs.gs");
    std::ofstream(folder / "bench.gs", std::ios::binary) << kGameScript;
    GSCompilerSetBackEnd(GSStandardBackEnd());
    for (const char* name : {"gs.gs", "bench.gs"}) {
      CompileLog log;
      if (GSCompileFile((folder / name).string().c_str(), nullptr, nullptr, &log) != 0) return;
    }
    Kiv::File::Subst(root, folder.string());
    GSMachine* machine = GetGSMachine();
    machine->AddLibraryFolder(root);
    GSLibrary* library = machine->FindLibraryByName("bench.gsl");
    cls = library != nullptr ? library->FindClass("Player") : nullptr;
  }
  ~MessageBench() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  // One exchange of `messages` messages in a fresh context; the number of
  // answers the player received.
  int Exchange(int messages) {
    GSContext context;
    GSContext::AddLive(&context);
    context.InstallRouter(new GSRouter);
    GSGameObject* player = new GSGameObject;
    if (!player->AttachScriptInstance(cls, &context)) return -1;
    context.Router()->AddNode(player);
    const GSValue rounds = GSFromInt(messages / 2);
    int received = -1;
    if (GSObject::CallFunction(&context, cls, player->GetScriptInstance(),
                               "$void@Player::Start(int)", {&rounds, 1}, nullptr)) {
      PumpRouter(*context.Router(), 1e9, 0.001);
      GSValue value = 0;
      if (GSObject::CallFunction(&context, cls, player->GetScriptInstance(),
                                 "$int@Player::Received()", {}, &value))
        received = GSInt(value);
    }
    GSObjectReference::Release(player->GetScriptInstance());
    return received;
  }
};

void BM_GSMessages(benchmark::State& state) {
  static MessageBench bench;
  if (bench.cls == nullptr) return state.SkipWithError("the scripts did not compile or load");
  const int messages = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const int received = bench.Exchange(messages);
    if (received != messages / 2) return state.SkipWithError("the exchange did not finish");
    benchmark::DoNotOptimize(received);
  }
  state.SetItemsProcessed(state.iterations() * messages);
}

void BM_LuaCoroutines(benchmark::State& state) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  if (luaL_dostring(L, kLua) != LUA_OK) return state.SkipWithError("the Lua program did not load");
  const int messages = static_cast<int>(state.range(0));
  for (auto _ : state) {
    lua_getglobal(L, "Exchange");
    lua_pushinteger(L, messages);
    if (lua_pcall(L, 1, 1, 0) != LUA_OK) return state.SkipWithError("the Lua call failed");
    benchmark::DoNotOptimize(lua_tointeger(L, -1));
    lua_pop(L, 1);
  }
  lua_close(L);
  state.SetItemsProcessed(state.iterations() * messages);
}

}  // namespace

BENCHMARK(BM_GSMessages)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaCoroutines)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
