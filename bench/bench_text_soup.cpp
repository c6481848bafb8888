// TextSoup::Parse against RapidJSON parsing the same tree written as JSON,
// side by side, for trees of 10,000 and 100,000 tags. A third benchmark
// builds the same soup straight through the setters, the floor that the
// soup tree itself sets for any reader. TextSoup::Write against RapidJSON
// writing the same tree (held as a rapidjson::Document) runs from 10,000 to
// 1,000,000 tags, each size as a pair, so the two should grow alike.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench/TextSoupTrees.h"
#include "foundation/soup/ACSConvert.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/text/KUID.h"
#include "kiv/DynamicBuffer.h"

namespace {

using benchtrees::MakeSoup;

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

// The same tree as a rapidjson::Document, walked with one cursor per open
// container (the peer's tree is made once, outside the timed loop).
void AddJsonValue(const ACSChunk* chunk, rapidjson::Value& out,
                  rapidjson::Document::AllocatorType& allocator) {
  switch (chunk->GetType()) {
    case SoupType::kContainer: {
      out.SetObject();
      ChildCursor cursor;
      for (uint32_t i = 0; i < chunk->CountChildren(); ++i) {
        const Kiv::PString* name = nullptr;
        const ACSChunk* child = nullptr;
        if (!chunk->GetChildAtCursor(i, cursor, name, child)) break;
        rapidjson::Value value;
        AddJsonValue(child, value, allocator);
        out.AddMember(rapidjson::Value(name->c_str(), allocator), value, allocator);
      }
      return;
    }
    case SoupType::kInt: {
      int32_t v = 0;
      std::memcpy(&v, chunk->GetData(), sizeof v);
      out.SetInt(v);
      return;
    }
    case SoupType::kFloat: {
      const uint32_t count = chunk->GetDataSize() / 4;
      std::vector<float> values(count);
      std::memcpy(values.data(), chunk->GetData(), count * 4);
      if (count == 1) {
        out.SetDouble(values[0]);
        return;
      }
      out.SetArray();
      for (const float v : values) out.PushBack(rapidjson::Value(double(v)), allocator);
      return;
    }
    case SoupType::kKUID: {
      const CoreRef text =
          ACSConvert(SoupType::kKUID, ACSChunk::GetRawData(chunk), SoupType::kString);
      const std::string_view view = ACSRawDataCore::TextView(text.get());
      out.SetString(view.data(), rapidjson::SizeType(view.size()), allocator);
      return;
    }
    default: {
      const auto* text = reinterpret_cast<const char*>(chunk->GetData());
      out.SetString(text != nullptr ? text : "", allocator);
      return;
    }
  }
}

// Soups and documents are made once per size and kept for the whole run.
const Soup& CachedSoup(int tags) {
  static std::map<int, Soup> soups;
  auto it = soups.find(tags);
  if (it == soups.end()) it = soups.emplace(tags, MakeSoup(tags)).first;
  return it->second;
}

void BM_TextSoupWrite(benchmark::State& state) {
  const Soup& soup = CachedSoup(int(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    TBuffer stream;
    TextSoup::Write(stream, soup);
    bytes = stream.GetData()->DataLength();
    benchmark::DoNotOptimize(stream.GetData()->Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["bytes"] = double(bytes);
}

void BM_RapidJsonWrite(benchmark::State& state) {
  rapidjson::Document document;
  AddJsonValue(CachedSoup(int(state.range(0))).GetChunk(), document, document.GetAllocator());
  size_t bytes = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    bytes = buffer.GetSize();
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["bytes"] = double(bytes);
}

void BM_SoupBuildWithSetters(benchmark::State& state) {
  for (auto _ : state) {
    Soup soup = MakeSoup(int(state.range(0)));
    benchmark::DoNotOptimize(soup.GetChunk());
  }
}

}  // namespace

// Parse pairs, interleaved size by size.
BENCHMARK(BM_TextSoupParse)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RapidJsonParse)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextSoupParse)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RapidJsonParse)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoupBuildWithSetters)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
// Write pairs, interleaved size by size.
BENCHMARK(BM_TextSoupWrite)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RapidJsonWrite)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextSoupWrite)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RapidJsonWrite)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextSoupWrite)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RapidJsonWrite)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
