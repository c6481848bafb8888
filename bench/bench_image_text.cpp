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
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "kiv/File.h"

namespace {

using namespace GSRuntime;

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

struct ImageBench {
  std::filesystem::path folder;
  Kiv::PString root{"gsimagebench"};
  GSContext* context = nullptr;
  GSObject* object = nullptr;
  GSClass* cls = nullptr;

  ImageBench() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gsimg-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder = pattern;
    std::ofstream(folder / "bench.gs", std::ios::binary) << kGameScript;
    AddCommonIncludeRegistrars();
    Kiv::File::Subst(Kiv::PString("libraries"), VU_BINARY_DIR "/libraries");
    if (!RegisterNativeLibraries()) return;
    GSCompilerSetBackEnd(GSStandardBackEnd());
    IncludePathList includes;
    includes.Append(Kiv::File::Path(VU_SOURCE_DIR "/gsnative/libraries"));
    CompileLog log;
    const std::string source = (folder / "bench.gs").string();
    if (GSCompileFile(source.c_str(), nullptr, &includes, &log) != 0) return;
    Kiv::File::Subst(root, folder.string());
    GSMachine* machine = GetGSMachine();
    GSLibraryId id{};
    machine->AddLibrary(root, "", "bench.gsl", &id);
    GSLibrary* library = machine->GetLibrary(id);
    GSClass* found = library != nullptr ? library->FindClass("Bench") : nullptr;
    if (found == nullptr) return;
    context = new GSContext;
    object = new GSObject;
    if (!object->AttachScriptInstance(found, context)) return;
    cls = found;
    if (Call("$int@Bench::Setup(int)", 512) != 512) cls = nullptr;
  }
  ~ImageBench() {
    delete object;
    delete context;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  int32_t Call(const char* signature, int n) {
    GSValue value = 0;
    const GSValue arg = GSFromInt(n);
    if (!GSObject::InvokeFunction(cls, object->GetScriptInstance(), signature, {&arg, 1}, &value))
      return -1;
    return GSInt(value);
  }
};

ImageBench& Bench() {
  static ImageBench bench;
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
