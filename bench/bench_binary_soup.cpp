// Loading a binary soup (BinarySoup::Read from a memory stream: one block
// read plus the structural check) against a plain memcpy of the same bytes,
// side by side, for soups of 10,000 and 100,000 tags. The structural check
// walks the records one after another (each record's size gives the next
// one's place), so its cost grows with the number of records rather than
// the number of bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/text/KUID.h"
#include "kiv/DynamicBuffer.h"

namespace {

// A soup of `tags` tags in a configuration-like mix: integers, texts,
// floats, KUIDs, and a sub-soup of ten integers in every hundred tags.
std::vector<uint8_t> SoupBytes(int64_t tags) {
  Soup soup;
  soup.Create();
  for (int64_t i = 0; i < tags; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "tag%lld", static_cast<long long>(i));
    const Kiv::PString name(text);
    switch (i % 10) {
      case 0:
        if (i % 100 == 0) {
          Soup sub;
          for (int j = 0; j < 10; ++j) {
            const char sname[3] = {'n', char('0' + j), 0};
            sub.SetNamedInt(Kiv::PString(sname), j);
          }
          soup.SetNamedSoup(name, sub);
          i += 10;
          break;
        }
        [[fallthrough]];
      case 1:
      case 2:
        soup.SetNamedTag(name, std::string_view("a short text value"));
        break;
      case 3:
        soup.SetNamedFloat(name, float(i) * 0.5f);
        break;
      case 4:
        soup.SetNamedKUID(name, KUID{12345, int32_t(i), 0});
        break;
      default:
        soup.SetNamedInt(name, int32_t(i));
        break;
    }
  }
  TBuffer stream;
  BinarySoup::Write(stream, soup);
  const Kiv::DynamicBuffer* data = stream.GetData();
  return std::vector<uint8_t>(data->Data(), data->Data() + data->DataLength());
}

void BM_BinarySoupRead(benchmark::State& state) {
  const std::vector<uint8_t> bytes = SoupBytes(state.range(0));
  Kiv::DynamicBuffer data;
  data.Write(bytes.data(), uint32_t(bytes.size()));
  for (auto _ : state) {
    data.SetPosition(0);
    TBuffer stream(&data, false);
    Soup soup;
    if (!BinarySoup::Read(stream, soup)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(soup.GetChunk());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_Memcpy(benchmark::State& state) {
  const std::vector<uint8_t> bytes = SoupBytes(state.range(0));
  std::vector<uint8_t> copy(bytes.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

}  // namespace

BENCHMARK(BM_BinarySoupRead)->Arg(10000)->Arg(100000);
BENCHMARK(BM_Memcpy)->Arg(10000)->Arg(100000);

BENCHMARK_MAIN();
