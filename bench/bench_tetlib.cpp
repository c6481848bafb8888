// The validation library: loading the definitions of tetlib/TETData once,
// against RapidJSON parsing the same definitions written as JSON; walking a
// configuration of 1,000 tags against a kind that defines them, against
// RapidJSON parsing the same configuration as JSON and looking each member
// up in the parsed definitions; and the whole check of a configuration-only
// asset through the validation entry; and 1,000 such assets validated in
// one process, with the resident size before and after; and 1,000 assets
// that each name one small mesh (a 12-face cube, loaded and checked), with
// the resident size before and after.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/ACSConvert.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "kiv/RenderKernel.h"
#include "tests/tetlib/MeshFiles.h"
#include "tetlib/Container.h"
#include "tetlib/TETLib.h"
#include "tetlib/Tag.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDefinitionFiles[] = {"inheritance.txt", "kind.txt", "container.txt"};
constexpr int kConfigTags = 1000;
constexpr int kAssets = 1000;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteJson(const Soup& soup, rapidjson::Writer<rapidjson::StringBuffer>& out) {
  out.StartObject();
  for (uint32_t i = 0; i < soup.CountTags(); ++i) {
    const Kiv::PString name = soup.GetIndexedTagName(i);
    out.Key(name.c_str());
    const Soup child = soup.GetIndexedSoup(i);
    if (!child.Empty()) {
      WriteJson(child, out);
      continue;
    }
    out.String(soup.GetNamedTag(name).c_str());
  }
  out.EndObject();
}

std::string ToJson(const Soup& soup) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  WriteJson(soup, writer);
  return buffer.GetString();
}

// A scratch folder with a copy of the definitions (the data manager writes
// into it), their JSON forms, a kind of kConfigTags tags and a config
// using them, and the clean fixture asset with its mesh; and the run's
// headless render kernel.
struct Scratch {
  Scratch() {
    char pattern[] = "/tmp/vu-bench-tetlib-XXXXXX";
    root = ::mkdtemp(pattern);
    fs::copy(std::string(VU_SOURCE_DIR) + "/tetlib/TETData", root + "/defs",
             fs::copy_options::recursive);
    fs::copy(std::string(VU_SOURCE_DIR) + "/tests/tetlib/fixtures/clean", root + "/asset",
             fs::copy_options::recursive);
    tetfixture::WriteMeshFiles(root + "/asset");
    for (const char* name : kDefinitionFiles) {
      Soup soup;
      Soup::LoadFromFile(Kiv::PString(), root + "/defs/" + name, soup, true);
      std::ofstream(root + "/json-" + name + ".json") << ToJson(soup);
    }
    fs::create_directories(root + "/wide");
    std::ofstream kind(root + "/wide/kind.txt");
    std::ofstream config(root + "/wide-config.txt");
    kind << "wide\n{\n  top-level 1\n  subpossibilities\n  {\n    kind\n    {\n      type "
            "\"string\"\n    }\n";
    config << "kind \"wide\"\nvandru-build 3.4\n";
    const char* types[] = {"int", "float", "string", "bool"};
    const char* values[] = {"12", "1.5", "\"text\"", "1"};
    for (int i = 0; i < kConfigTags; ++i) {
      kind << "    tag" << i << "\n    {\n      type \"" << types[i % 4] << "\"\n    }\n";
      config << "tag" << i << " " << values[i % 4] << "\n";
    }
    kind << "  }\n}\n";
    kind.close();
    config.close();
    Soup wide;
    Soup::LoadFromFile(Kiv::PString(), root + "/wide-config.txt", wide, true);
    std::ofstream(root + "/wide-config.json") << ToJson(wide);
    Kiv::File::Subst(Kiv::PString("data"), std::string(VU_SOURCE_DIR) + "/data");
    Kiv::SetRenderKernel(&kernel);
  }
  ~Scratch() {
    Kiv::SetRenderKernel(nullptr);
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  std::string root;
  // The headless render kernel the mesh checks load through.
  Kiv::RenderKernel kernel{nullptr, 8.0f};
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

void StartLibrary(const std::string& definitions) {
  TETLib::ErrorHandler::CreateInstance();
  TETLib::DataManager::CreateInstance((definitions + "/").c_str());
  TETLib::DataManager::Instance()->LoadDefinitions();
}

void StopLibrary() {
  TETLib::DataManager::DestroyInstance();
  TETLib::ErrorHandler::DestroyInstance();
}

void BM_LoadDefinitions(benchmark::State& state) {
  const std::string defs = TheScratch().root + "/defs/";
  for (auto _ : state) {
    TETLib::DataManager::CreateInstance(defs.c_str());
    benchmark::DoNotOptimize(TETLib::DataManager::Instance()->LoadDefinitions());
    state.PauseTiming();
    TETLib::DataManager::DestroyInstance();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadDefinitions)->Unit(benchmark::kMicrosecond);

void BM_RapidJsonParseDefinitions(benchmark::State& state) {
  const std::string root = TheScratch().root;
  for (auto _ : state) {
    for (const char* name : kDefinitionFiles) {
      const std::string text = ReadFile(root + "/json-" + name + ".json");
      rapidjson::Document document;
      document.Parse(text.c_str());
      benchmark::DoNotOptimize(document.MemberCount());
    }
  }
}
BENCHMARK(BM_RapidJsonParseDefinitions)->Unit(benchmark::kMicrosecond);

std::unique_ptr<TETLib::Container> Walk(const Soup& config) {
  TETLib::DataManager& manager = *TETLib::DataManager::Instance();
  manager.SetAssetBuild(config.GetNamedTagAsFloat(Kiv::PString("vandru-build"), 1.3f) + 0.001f);
  const Kiv::PString kind = config.GetNamedTag(Kiv::PString("kind"));
  const Soup definition = TETLib::Container::FindTopLevelDefinition(kind);
  auto root = std::make_unique<TETLib::Container>();
  root->SetSoup(config);
  root->SetName(kind);
  root->SetMeshChecks(true);
  root->ApplyDefinition(definition, true);
  TETLib::Container::BuildContainerValidators(*root, definition);
  root->ValidateTags(config, definition, *root);
  return root;
}

void BM_WalkConfig1000Tags(benchmark::State& state) {
  const std::string root = TheScratch().root;
  StartLibrary(root + "/wide");
  Soup config;
  Soup::LoadFromFile(Kiv::PString(), root + "/wide-config.txt", config, true);
  for (auto _ : state) {
    TETLib::Findings().Clear();
    std::unique_ptr<TETLib::Container> walked = Walk(config);
    benchmark::DoNotOptimize(walked->Tags().size());
  }
  state.counters["findings"] = double(TETLib::Findings().GetList().size());
  StopLibrary();
}
BENCHMARK(BM_WalkConfig1000Tags)->Unit(benchmark::kMicrosecond);

void BM_RapidJsonParseAndLookUpConfig1000Tags(benchmark::State& state) {
  const std::string root = TheScratch().root;
  Soup wide;
  Soup::LoadFromFile(Kiv::PString(), root + "/wide/kind.txt", wide, true);
  rapidjson::Document definitions;
  const std::string definitionText = ToJson(wide);
  definitions.Parse(definitionText.c_str());
  const rapidjson::Value& entries = definitions["wide"]["subpossibilities"];
  const std::string text = ReadFile(root + "/wide-config.json");
  for (auto _ : state) {
    rapidjson::Document config;
    config.Parse(text.c_str());
    int found = 0;
    for (auto member = config.MemberBegin(); member != config.MemberEnd(); ++member) {
      const auto entry = entries.FindMember(member->name);
      if (entry != entries.MemberEnd() && entry->value.HasMember("type")) ++found;
    }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_RapidJsonParseAndLookUpConfig1000Tags)->Unit(benchmark::kMicrosecond);

// Validates one asset folder through the entry, as the validation job does.
size_t ValidateFolder(const std::string& folder) {
  TETLib::Container container;
  ResultsLog log;
  if (TETLib::BeginAssetValidation(Kiv::PString(), Kiv::File::Path(folder + "/config.txt"), log,
                                   &container)) {
    TETLib::RunAssetChecks(container, log);
  }
  PurgeUnusedResources();
  return log.MessageCount();
}

void BM_ValidateConfigOnlyAsset(benchmark::State& state) {
  const std::string root = TheScratch().root;
  StartLibrary(root + "/defs");
  size_t findings = 0;
  for (auto _ : state) findings = ValidateFolder(root + "/asset");
  state.counters["findings"] = double(findings);
  StopLibrary();
}
BENCHMARK(BM_ValidateConfigOnlyAsset)->Unit(benchmark::kMicrosecond);

double ResidentKiB() {
  long pages = 0;
  long resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return double(resident) * double(::sysconf(_SC_PAGESIZE)) / 1024.0;
}

// Validates every folder once per iteration against the definitions below
// `root`, after one warm-up folder, and reports the resident memory before
// and after, the time per asset and the findings.
void ValidateEachFolder(benchmark::State& state, const std::string& root,
                        const std::vector<std::string>& folders) {
  StartLibrary(root + "/defs");
  ValidateFolder(folders[0]);
  const double before = ResidentKiB();
  size_t findings = 0;
  for (auto _ : state) {
    for (const std::string& folder : folders) findings += ValidateFolder(folder);
  }
  state.counters["rss_start_kib"] = before;
  state.counters["rss_end_kib"] = ResidentKiB();
  state.counters["s_per_asset"] =
      benchmark::Counter(double(kAssets) * double(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["findings"] = double(findings);
  StopLibrary();
}

// 1,000 configuration-only assets (different KUIDs, names and values; every
// tenth with findings) validated one after the other in one process, as a
// long command-host run does; resident size before the first and after the
// last.
void BM_Validate1000ConfigOnlyAssets(benchmark::State& state) {
  const std::string root = TheScratch().root;
  const std::string clean = ReadFile(root + "/asset/config.txt");
  const std::string config = clean.substr(0, clean.find("thumbnails"));
  std::vector<std::string> folders;
  for (int i = 0; i < kAssets; ++i) {
    const std::string folder = root + "/many/" + std::to_string(i);
    fs::create_directories(folder);
    std::ofstream out(folder + "/config.txt");
    out << "kuid <kuid:100:" << 1000 + i << ">\nusername \"Crate " << i << "\"\n"
        << config.substr(config.find("kind")) << "rotation-speed " << (i % 10 == 0 ? 90 : i % 50)
        << "\n"
        << (i % 10 == 0 ? "colour 1\n" : "") << "mesh-table\n{\n  default\n  {\n    mesh \"m" << i
        << ".im\"\n    auto-create 1\n  }\n}\n";
    folders.push_back(folder);
  }
  ValidateEachFolder(state, root, folders);
}
BENCHMARK(BM_Validate1000ConfigOnlyAssets)->Unit(benchmark::kMillisecond)->Iterations(5);

// 1,000 assets whose mesh table names one small mesh each (the test cube
// of 12 faces, its own file in each folder), validated one after the other
// in one process: each mesh is loaded, instanced and checked, and freed
// with its asset.
void BM_Validate1000AssetsWithMeshes(benchmark::State& state) {
  const std::string root = TheScratch().root;
  const std::string mesh = tetfixture::MeshBytes();
  std::vector<std::string> folders;
  for (int i = 0; i < kAssets; ++i) {
    const std::string folder = root + "/meshes/" + std::to_string(i);
    fs::create_directories(folder);
    std::ofstream(folder + "/m" + std::to_string(i) + ".im", std::ios::binary) << mesh;
    std::ofstream out(folder + "/config.txt");
    out << "kuid <kuid:100:" << 5000 + i << ">\nusername \"Box " << i
        << "\"\nkind \"scenery\"\nvandru-build 3.4\nmesh-table\n{\n  default\n  {\n    mesh \"m"
        << i << ".im\"\n    auto-create 1\n  }\n}\n";
    folders.push_back(folder);
  }
  ValidateEachFolder(state, root, folders);
}
BENCHMARK(BM_Validate1000AssetsWithMeshes)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
