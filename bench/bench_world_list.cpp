// Streaming a world list of 100,000 items (SaveItems into a file through
// TFile, then the object chunk) against writing the same bytes to a file
// with fwrite, side by side in one run; and reading the list back. Items
// carry flags, bounds and a short text: about 60 bytes a record.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TFile.h"
#include "gsnative/WorldList.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/File.h"
#include "tests/gsnative/WorldTestItems.h"

namespace {

constexpr int kItems = 100000;

worldtest::TestFactory gFactory(worldtest::kTestType);

void Fill(WorldList& list) {
  for (int i = 0; i < kItems; ++i) {
    auto* item = new worldtest::TestItem;
    item->flags = 5;
    item->kuid = KUID{400000 + i % 1000, i, 0};
    item->lower.tile[0] = int16_t(i % 300);
    item->lower.tile[1] = int16_t(i / 300);
    item->lower.offset[0] = float(i % 720);
    item->upper = item->lower;
    item->upper.offset[1] = 30.0f;
    item->listBody = "item " + std::to_string(i);
    list.Add(item);
  }
}

WorldList& List() {
  static WorldList* list = [] {
    auto* l = new WorldList;
    Fill(*l);
    return l;
  }();
  return *list;
}

std::string Path(const char* name) {
  return std::string(P_tmpdir) + "/" + name + "." + std::to_string(getpid());
}

std::vector<uint8_t> Image() {
  TBuffer out;
  List().SaveItems(out, 0, 0);
  List().SaveObjectChunk(out);
  const Kiv::DynamicBuffer* d = out.GetData();
  return {d->Data(), d->Data() + d->DataLength()};
}

void BM_StreamWorldList(benchmark::State& state) {
  const std::string path = Path("bench_world_list");
  uint64_t bytes = 0;
  for (auto _ : state) {
    TFile file;
    if (!file.Open(Kiv::String(path), 0x01 | Kiv::File::kCreate)) {
      state.SkipWithError("cannot create the file");
      break;
    }
    List().SaveItems(file, 0, 0);
    List().SaveObjectChunk(file);
    bytes = file.Tell();
    file.Close();
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}
BENCHMARK(BM_StreamWorldList)->Unit(benchmark::kMillisecond);

void BM_FwriteSameBytes(benchmark::State& state) {
  const std::vector<uint8_t> image = Image();
  const std::string path = Path("bench_world_fwrite");
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
      state.SkipWithError("cannot create the file");
      break;
    }
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations() * image.size()));
}
BENCHMARK(BM_FwriteSameBytes)->Unit(benchmark::kMillisecond);

void BM_LoadWorldList(benchmark::State& state) {
  const std::vector<uint8_t> image = Image();
  for (auto _ : state) {
    Kiv::DynamicBuffer bytes;
    bytes.Write(image.data(), uint32_t(image.size()));
    bytes.SetPosition(0);
    TBuffer in(&bytes, false);
    WorldList list;
    if (!list.LoadItems(in, true, 0).Ok()) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(list.GetSlotCount());
  }
  state.SetBytesProcessed(int64_t(state.iterations() * image.size()));
}
BENCHMARK(BM_LoadWorldList)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
