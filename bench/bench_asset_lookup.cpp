// Asset objects looked up through the daemon: 10,000 distinct KUIDs made
// into Asset objects of one script context (GSOAsset::Create), each sending
// one resolve request (0x1A) to a stand-in daemon on loopback that answers
// every KUID with itself; then the same 10,000 again, which the context's
// map answers without a request. Reports the time per lookup and the
// requests the daemon received.
#include <benchmark/benchmark.h>

#include <atomic>

#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "gsnative/GSOAsset.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsnative/VandruScriptContext.h"
#include "gsruntime/GSObjectReference.h"
#include "kiv/File.h"
#include "tests/support/FakeDaemon.h"

namespace {

constexpr int kAssets = 10000;
std::atomic<uint16_t> daemonPort{0};

void BM_AssetLookups(benchmark::State& state) {
  Kiv::File::Subst(Kiv::PString("libraries"), VU_BINARY_DIR "/libraries");
  if (!RegisterNativeLibraries()) {
    state.SkipWithError("the standard script libraries do not register");
    return;
  }
  FakeDaemon daemon;
  daemon.ExpectHandshake().ServeEcho();
  daemon.Start();
  daemonPort = daemon.Port();
  NetStartup();
  VADClient::SetPortSource([](const Kiv::File::Path&) { return daemonPort.load(); });
  VADClient::SetDaemonStarter([] { return false; });
  if (!VADOpenDatabase(VADClientOptions())) {
    state.SkipWithError("the client does not open");
    return;
  }
  const bool again = state.range(0) != 0;
  uint64_t requests = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      VandruScriptContext context;
      if (again)
        for (int i = 0; i < kAssets; ++i)
          GSRuntime::GSObjectReference::Release(
              GSOAsset::Create(&context, KUID{1, i, 0})->GetScriptInstance());
      const uint64_t start = daemon.Served();
      state.ResumeTiming();
      for (int i = 0; i < kAssets; ++i) {
        GSOAsset* asset = GSOAsset::Create(&context, KUID{1, i, 0});
        if (asset != nullptr) GSRuntime::GSObjectReference::Release(asset->GetScriptInstance());
      }
      state.PauseTiming();
      requests += daemon.Served() - start;
    }
    state.ResumeTiming();
  }
  VADClient::Close();
  daemon.Stop();
  state.counters["requests_per_pass"] =
      benchmark::Counter(double(requests) / double(state.iterations()));
  state.counters["per_lookup"] = benchmark::Counter(
      double(kAssets) * double(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AssetLookups)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
