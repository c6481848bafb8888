// Text drawn by scripts into a 512 x 512 Image, through the interpreter,
// the Image natives and the font cache of the process (FreeType and
// fontconfig, the system's DejaVu fonts):
// - BM_DrawTextsCachedFont: 1,000 short texts ("Item 0" ...) at scattered
//   places with a font that is already in the cache; time per iteration /
//   1,000 is the time per text.
// - BM_DrawTextFirstUseOfFont: one short text whose font is used for the
//   first time (a face name never asked before, so the font is opened,
//   measured and its atlas made): the time per text when the font's first
//   use is included.
// For comparison, FreeType's own glyph loading and rendering (ftbench) and
// a plain blit of the glyph bitmaps bound what the font layer can reach.
#include <benchmark/benchmark.h>

#include "NativeScriptBench.h"

namespace {

constexpr const char* kGameScript = R"(
include "Constructors.gs"

class Bench {
  Image image;
  public int Setup(int side) {
    image = ConstructorsBase.NewImage();
    image.Clear(side, side);
    image.SetLineColor(0.1, 0.2, 0.6, 1);
    image.SetTextFont("swiss", 12);
    image.DrawText(0, 0, "warm");
    return image.GetWidth();
  }
  public int DrawTexts(int n) {
    int i;
    for (i = 0; i < n; i++) image.DrawText((i * 37) % 460, (i * 13) % 496, "Item " + i);
    return n;
  }
  public int DrawWithNewFont(int n) {
    image.SetTextFont("benchface" + n, 12);
    image.DrawText((n * 37) % 460, (n * 13) % 496, "Item " + n);
    return n;
  }
};
)";

using ImageBench = NativeScriptBench;

// The fixture with its Image made once; cls is null when that failed.
ImageBench& Bench() {
  static ImageBench bench(kGameScript, "gsimagebench", "gsimg");
  static const bool ready =
      bench.cls != nullptr && bench.Call("$int@Bench::Setup(int)", 512) == 512;
  if (!ready) bench.cls = nullptr;
  return bench;
}

void BM_DrawTextsCachedFont(benchmark::State& state) {
  ImageBench& bench = Bench();
  if (bench.cls == nullptr) return state.SkipWithError("the libraries did not compile or load");
  for (auto _ : state)
    if (bench.Call("$int@Bench::DrawTexts(int)", 1000) != 1000)
      return state.SkipWithError("the texts were not drawn");
  state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_DrawTextFirstUseOfFont(benchmark::State& state) {
  ImageBench& bench = Bench();
  if (bench.cls == nullptr) return state.SkipWithError("the libraries did not compile or load");
  static int n = 0;  // face names stay new across repetitions
  for (auto _ : state) {
    if (bench.Call("$int@Bench::DrawWithNewFont(int)", n) != n)
      return state.SkipWithError("the text was not drawn");
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_DrawTextsCachedFont)->Unit(benchmark::kMillisecond);
// Every iteration keeps one more font for the process: a fixed count.
BENCHMARK(BM_DrawTextFirstUseOfFont)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
