// TextSoup::Parse against RapidJSON parsing the same tree written as JSON,
// side by side, for trees of 10,000 and 100,000 tags. A third benchmark
// builds the same soup straight through the setters, the floor that the
// soup tree itself sets for any reader.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/text/KUID.h"
#include "kiv/DynamicBuffer.h"

namespace {

// Each group is a sub-soup of 10 tags (one of them a sub-soup of 2), so a
// group counts 11 tags with itself.
constexpr int kTagsPerGroup = 11;

struct Names {
  Kiv::PString index{"index"}, scale{"scale"}, name{"name"}, kuid{"kuid"}, position{"position"},
      description{"description"}, enabled{"enabled"}, mesh{"mesh"}, file{"file"}, flags{"flags"};
};

Soup MakeSoup(int tags) {
  const Names n;
  std::mt19937 rng(7);
  Soup root;
  root.Create();
  for (int g = 0; g < tags / kTagsPerGroup; ++g) {
    Soup group;
    group.SetNamedInt(n.index, g);
    group.SetNamedFloat(n.scale, float(rng() % 1000) / 8.0f);
    group.SetNamedTag(n.name, "object " + std::to_string(rng() % 100000));
    group.SetNamedKUID(n.kuid, KUID{int32_t(rng() % 500000), int32_t(rng() % 100000), 0});
    const float position[3] = {float(rng() % 100) / 4.0f, -float(rng() % 100) / 2.0f,
                               float(rng() % 1000) / 8.0f};
    group.SetNamedFloatArray(n.position, position);
    group.SetNamedTag(n.description, "A longer description of the object, with some words in it.");
    group.SetNamedInt(n.enabled, int32_t(rng() % 2));
    Soup mesh;
    mesh.SetNamedTag(n.file, "meshes/object" + std::to_string(g) + ".mesh");
    mesh.SetNamedInt(n.flags, int32_t(rng() % 64));
    group.SetNamedSoup(n.mesh, mesh);
    char groupName[32];
    std::snprintf(groupName, sizeof groupName, "group-%d", g);
    root.SetNamedSoup(Kiv::PString(groupName), group);
  }
  return root;
}

std::string SoupText(const Soup& soup) {
  TBuffer stream;
  TextSoup::Write(stream, soup);
  const Kiv::DynamicBuffer* data = stream.GetData();
  return std::string(reinterpret_cast<const char*>(data->Data()), data->DataLength());
}

// The same tree as JSON: sub-soups as objects, single numbers as numbers,
// float lists as arrays, strings and KUIDs as strings.
void WriteJson(const Soup& soup, rapidjson::Writer<rapidjson::StringBuffer>& out) {
  out.StartObject();
  for (uint32_t i = 0; i < soup.CountTags(); ++i) {
    const Kiv::PString name = soup.GetIndexedTagName(i);
    out.Key(name.c_str());
    switch (soup.GetNamedTagType(name)) {
      case SoupType::kContainer:
        WriteJson(soup.GetIndexedSoup(i), out);
        break;
      case SoupType::kInt:
        out.Int(soup.GetNamedTagAsInt(name, 0));
        break;
      case SoupType::kFloat: {
        std::vector<float> values;
        soup.GetNamedTagAsFloatArray(name, values);
        if (values.size() == 1) {
          out.Double(values[0]);
          break;
        }
        out.StartArray();
        for (const float v : values) out.Double(v);
        out.EndArray();
        break;
      }
      default:
        out.String(soup.GetNamedTag(name).c_str());
        break;
    }
  }
  out.EndObject();
}

std::string JsonText(const Soup& soup) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  WriteJson(soup, writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

void BM_TextSoupParse(benchmark::State& state) {
  const std::string text = SoupText(MakeSoup(int(state.range(0))));
  Kiv::DynamicBuffer bytes;
  bytes.Write(text.data(), uint32_t(text.size()));
  for (auto _ : state) {
    bytes.SetPosition(0);
    TBuffer stream(&bytes, false);
    Soup soup;
    const TextSoup::Result result = TextSoup::Parse(soup, stream, false);
    if (!result.Ok()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(soup.GetChunk());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.counters["bytes"] = double(text.size());
}

void BM_RapidJsonParse(benchmark::State& state) {
  const std::string json = JsonText(MakeSoup(int(state.range(0))));
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(json.c_str(), json.size());
    if (document.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&document);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(json.size()));
  state.counters["bytes"] = double(json.size());
}

void BM_SoupBuildWithSetters(benchmark::State& state) {
  for (auto _ : state) {
    Soup soup = MakeSoup(int(state.range(0)));
    benchmark::DoNotOptimize(soup.GetChunk());
  }
}

}  // namespace

BENCHMARK(BM_TextSoupParse)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RapidJsonParse)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoupBuildWithSetters)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
