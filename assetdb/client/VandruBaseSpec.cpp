#include "assetdb/client/VandruBaseSpec.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "assetdb/client/AssetInfoQueries.h"
#include "assetdb/client/FindAssetSpec.h"
#include "assetdb/client/ScriptLibraryCache.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/AssetText.h"
#include "assetdb/protocol/CategoryMatch.h"
#include "assetdb/protocol/KUIDOrderedSet.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/base/LogMessage.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/spec/SpecRegistry.h"
#include "foundation/text/Crc32.h"
#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/IncludePathList.h"
#include "gscompiler/ScriptFile.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "kiv/File.h"

namespace {

constexpr int kScriptInfoBuild = 250;
constexpr int kIncludeTableBuild = 290;
constexpr float kBuildWithoutConfig = 1.3f;
// The largest library the cache holds; a file larger than this is not one
// the cache took (SetLibraryCacheLimit changes it for tests).
constexpr int64_t kMaxCachedLibrary = 64 << 20;
int64_t g_cacheLimit = kMaxCachedLibrary;

int BuildTimes100(float build) {
  return static_cast<int>(build * 100.0f);
}

Kiv::String WithExtension(const Kiv::String& name, const char* extension) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.find_last_of('.');
  const Kiv::String stem = (dot == Kiv::String::npos || (slash != Kiv::String::npos && dot < slash))
                               ? name
                               : name.substr(0, dot);
  return stem + extension;
}

Kiv::String StripLeadingSeparator(Kiv::String name) {
  while (!name.empty() && (name[0] == '/' || name[0] == '\\')) name.erase(0, 1);
  return name;
}

// The name whose CRC is the library's second id word: lower-cased by the
// CRC, with a final ".gse" written as ".gs".
Kiv::String CacheUnitName(const Kiv::String& fileName) {
  Kiv::String name = fileName;
  if (name.size() >= 4 && Kiv::AsciiLower(name.substr(name.size() - 4)) == ".gse") name.pop_back();
  return name;
}

bool EqualNoCase(const Kiv::String& a, const Kiv::String& b) {
  return Kiv::AsciiLower(a) == Kiv::AsciiLower(b);
}

// A finding about the spec's scripts goes to the results of the validation
// that asked; a library compiled for another asset's include table has no
// results log, and its findings go to the process's log instead.
void AddAssetError(ResultsLog* log, const BrindlemoxSpec& spec, const Kiv::String& text,
                   const Soup* parameters = nullptr) {
  if (log != nullptr) {
    log->AddResult(ResultsLog::kError, AssetSubject(spec.asset), text, parameters);
    return;
  }
  ResultsLog filled;
  filled.AddResult(ResultsLog::kError, PropertyRef(), text, parameters);
  const Kiv::String logName = spec.GetLogName().Str();
  for (const ResultMessage& message : filled.Messages())
    LogMessage("VandruBaseSpec::CacheScripts> '%s': %s", logName.c_str(), message.text.c_str());
}

// The library just compiled from `source` is larger than the cache holds.
void ReportTooLarge(ResultsLog* log, const BrindlemoxSpec& spec, const Kiv::String& source,
                    int64_t size) {
  Soup parameters;
  parameters.SetNamedTag(Kiv::PString("file_path"), Kiv::PString(source));
  parameters.SetNamedTag(Kiv::PString("size"), Kiv::PString(std::to_string(size)));
  parameters.SetNamedTag(Kiv::PString("limit"), Kiv::PString(std::to_string(g_cacheLimit)));
  AddAssetError(log, spec, GetInterfaceText("$vad_script_library_too_large"), &parameters);
}

Kiv::String Format(const char* format, const char* a) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, format, a);
  return buffer;
}

bool AcceptVandruBaseSpec(const BrindlemoxSpec& spec) {
  return dynamic_cast<const VandruBaseSpec*>(&spec) != nullptr;
}

BrindlemoxSpec* MakeVandruBaseSpec(const KUID& asset, const Kiv::PString& contentSet,
                                   const Soup& config, const Kiv::String& parentFolder,
                                   const Kiv::String& folderName) {
  return new VandruBaseSpec(asset, contentSet, config, parentFolder, folderName);
}

// Restores the compiler's include list when the scope ends.
class IncludePathsScope {
 public:
  IncludePathsScope() : saved_(GSCompilerIncludePaths()) {}
  ~IncludePathsScope() { GSCompilerIncludePaths() = saved_; }
  IncludePathsScope(const IncludePathsScope&) = delete;
  IncludePathsScope& operator=(const IncludePathsScope&) = delete;

 private:
  IncludePathList saved_;
};

}  // namespace

VandruBaseSpec::VandruBaseSpec(const KUID& assetId, const Kiv::PString& contentSet,
                               const Soup& config, const Kiv::String& parent,
                               const Kiv::String& folder)
    : BrindlemoxSpec(assetId, contentSet, parent, folder), config_(config) {
  if (!config.Empty()) {
    kindName = config.GetNamedTag(Kiv::PString("kind"));
    buildVersion = GetConfigBuildVersion(config);
  } else {
    buildVersion = kBuildWithoutConfig;
  }
  if (BuildTimes100(buildVersion) >= kScriptInfoBuild) {
    assetFileName = "default";
    return;
  }
  Kiv::String name = config.GetNamedTag(Kiv::PString("asset-filename")).Str();
  if (name.empty()) name = folderName;
  assetFileName = Kiv::AsciiLower(name);
}

Kiv::String VandruBaseSpec::AssetFolder() const {
  return SpecFilePath(*this).Str();
}

Kiv::String VandruBaseSpec::PrimaryScriptName() const {
  return primaryScript_;
}

void VandruBaseSpec::LoadScriptInfo() {
  Kiv::String script;
  Kiv::String className;
  GetAssetScriptAndClass(asset, script, className);
  primaryScript_ = script.empty() ? Kiv::String() : WithExtension(script, ".gs");
  scriptClass = Kiv::PString(className);
  scriptLibrary = Kiv::PString(
      script.empty() ? Kiv::String() : StripLeadingSeparator(WithExtension(script, ".gsl")));
  OnScriptInfoLoaded();
}

void VandruBaseSpec::CollectIncludes(KUIDList& list) const {
  GetKUIDList(config_.GetNamedSoup(Kiv::PString("script-include-table")), list);
}

bool VandruBaseSpec::PrepareIncludePaths() {
  if (BuildTimes100(buildVersion) < kIncludeTableBuild) return true;
  std::vector<KUID> pending;
  const auto collect = [&pending](const VandruBaseSpec& spec) {
    KUIDList includes;
    spec.CollectIncludes(includes);
    for (const KUID& kuid : includes) pending.push_back(kuid);
  };
  collect(*this);
  KUIDOrderedSet visited;
  bool all = true;
  for (size_t at = 0; at < pending.size(); ++at) {
    const KUID include = pending[at];
    if (!visited.Append(include)) continue;
    SpecRef ref;
    GetVandruBaseSpec(ref, include);
    VandruBaseSpec* spec = CastToVandruBaseSpec(ref.Get());
    if (spec == nullptr) {
      all = false;
      continue;
    }
    spec->LoadScriptInfo();
    spec->LoadLibrary();
    if ((spec->scriptFlags & kScriptNothingToCheck) == 0)
      GSCompilerAddIncludePath(spec->AssetFolder());
    collect(*spec);
  }
  return all;
}

bool VandruBaseSpec::CacheOneLibrary(const Kiv::String& fileName, const Kiv::String& sourcePath,
                                     const LibraryCacheFolder& cache, const Kiv::String& cacheName,
                                     uint32_t textCrc, uint32_t nameCrc, CheckedLibrary* library,
                                     ResultsLog* log) {
  if (cache.IsOpen()) {
    int64_t size = 0;
    const CachedLibrary cached =
        ReadCachedLibrary(cache, cacheName, textCrc, nameCrc, g_cacheLimit, library, &size);
    if (cached == CachedLibrary::kSound) return true;
    // Whatever the cache refuses does not stay in it: a file, or a folder
    // in the way of the library about to be written.
    if (cached != CachedLibrary::kMissing) RemoveCachedLibrary(cache, cacheName);
  }

  // The top is the asset's own file, read from its folder even when an
  // include-table asset's folder, searched first for includes, holds a file
  // of that name.
  Kiv::File::Path ownFolder(sourcePath);
  ownFolder.DelName();
  // Compiled in memory and then saved to the cache: a library the cache
  // cannot take (a full disk, something in its way) costs a later compile,
  // never this answer.
  CompileLog compileLog;
  CompiledLibrary compiled;
  if (GSCompileToLibrary(fileName.c_str(), nullptr, &compileLog, &compiled, ownFolder.c_str()) !=
      0) {
    const Kiv::String logName = GetLogName().Str();
    // The process's log has the compiler's lines whoever asked.
    LogMessage("VandruBaseSpec::CacheScripts> Syntax error in script of asset '%s'",
               logName.c_str());
    if (log != nullptr)
      AddAssetError(log, *this,
                    Format("VandruBaseSpec::CacheScripts> Syntax error in script of asset '%s'\n\n",
                           logName.c_str()));
    while (const char* line = compileLog.TakeLine()) {
      LogMessage("VandruBaseSpec::CacheScripts> ** GSC> %s", line);
      if (log != nullptr) AddAssetError(log, *this, line);
    }
    GSCompilerResetLog(&compileLog);
    return false;
  }
  const int64_t compiledSize = static_cast<int64_t>(compiled.bytes.size());
  const CachedLibrary checked =
      CheckCompiledLibrary(std::move(compiled.bytes), textCrc, nameCrc, g_cacheLimit, library);
  if (checked == CachedLibrary::kSound) {
    if (cache.IsOpen()) SaveCachedLibrary(cache, cacheName, *library, compiled.sources);
    return true;
  }
  if (checked == CachedLibrary::kTooLarge) {
    ReportTooLarge(log, *this, sourcePath, compiledSize);
  } else {
    AddAssetError(log, *this,
                  Format("CRC Mismatch on '%s' after recompile. Do you have both .gs and "
                         ".gse present?",
                         cache.EntryPath(cacheName).c_str()));
  }
  return false;
}

bool VandruBaseSpec::CacheScripts(const Kiv::String& /*library*/, const Kiv::String& folder,
                                  const Kiv::String& primary, ResultsLog* log) {
  if ((scriptFlags & kScriptCached) != 0) return cacheResult_;
  scriptFlags |= kScriptCached;

  LibraryCacheFolder cache;
  cache.Open(GetUserDataPath().Str());
  bool primaryFound = primary.empty();
  bool result = true;

  IncludePathsScope restore;
  PathListClear(GSCompilerIncludePaths());
  PrepareIncludePaths();
  GSCompilerAddIncludePath(folder);
  GSCompilerAddIncludePath(GetScriptsPath().Str());

  Kiv::File::Find find;
  std::vector<Kiv::String> sources;
  for (bool more = find.First(folder, "*.*"); more; more = find.Next()) {
    if (find.IsDirectory()) continue;
    const Kiv::File::Path name(find.Name());
    if (name.IsExt("gs") || name.IsExt("gse")) sources.push_back(find.Name());
  }

  for (const Kiv::String& fileName : sources) {
    Kiv::File::Path sourcePath(folder);
    sourcePath.AddPath(fileName);
    ScriptFile source;
    source.Reset();
    if (!source.Load(nullptr, sourcePath)) {
      AddAssetError(log, *this,
                    Format("Unable to read script source file '%s'", sourcePath.c_str()));
      result = false;
      continue;
    }
    const Kiv::String unit = CacheUnitName(fileName);
    const uint32_t textCrc = Crc32Buffer(source.GetText(), source.GetTextSize());
    const uint32_t nameCrc = Crc32LowerString(unit.c_str());
    char cacheName[32];
    std::snprintf(cacheName, sizeof cacheName, "%08x%08x.gsl", textCrc, nameCrc);
    CheckedLibrary library;
    if (!CacheOneLibrary(fileName, sourcePath.Str(), cache, cacheName, textCrc, nameCrc, &library,
                         log)) {
      result = false;
      continue;
    }
    AnnounceCachedLibrary(cache.EntryPath(cacheName), std::move(library));
    if (!primaryFound && EqualNoCase(unit, primary)) {
      primaryFound = true;
      primaryLibraryId[0] = textCrc;
      primaryLibraryId[1] = nameCrc;
    }
  }

  if (result && !primaryFound) {
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("filename"), primary);
    AddAssetError(log, *this, "Unable to locate primary script source file '$(FILENAME)'",
                  &parameters);
    result = false;
  }
  cacheResult_ = result;
  return result;
}

GSRuntime::GSLibrary* VandruBaseSpec::LoadLibrary() {
  GSMachine* machine = GetGSMachine();
  if (GSRuntime::GSLibrary* loaded = machine->FindLibraryByName(scriptLibrary.Str())) return loaded;
  if (!CacheScripts(scriptLibrary.Str(), AssetFolder(), PrimaryScriptName(), nullptr))
    return nullptr;
  if (primaryLibraryId[0] == 0 && primaryLibraryId[1] == 0) return nullptr;
  return machine->GetLibrary(GSRuntime::GSLibraryId{primaryLibraryId[0], primaryLibraryId[1]});
}

GSRuntime::GSClass* VandruBaseSpec::GetGSClass() {
  if (resolvedClass != nullptr) return resolvedClass;
  LoadScriptInfo();
  const Kiv::String logName = GetLogName().Str();
  GSRuntime::GSLibrary* library = LoadLibrary();
  if (library == nullptr) {
    LogMessage("VandruBaseSpec::GetGSClass> Could not load Vandru library %s for '%s'",
               scriptLibrary.Str().c_str(), logName.c_str());
    return nullptr;
  }
  resolvedClass = library->FindClass(scriptClass.Str());
  if (resolvedClass == nullptr)
    LogMessage("VandruBaseSpec::GetGSClass> Could not load Vandru class %s from library %s for %s",
               scriptClass.Str().c_str(), scriptLibrary.Str().c_str(), logName.c_str());
  return resolvedClass;
}

bool VandruBaseSpec::ValidateScript(ResultsLog* log) {
  LoadScriptInfo();
  if (scriptLibrary.Empty() || (scriptFlags & kScriptNothingToCheck) != 0) return true;
  if (!CacheScripts(scriptLibrary.Str(), AssetFolder(), PrimaryScriptName(), log)) return false;
  GSRuntime::GSClass* cls = GetGSClass();
  if (cls == nullptr) {
    AddAssetError(log, *this, "Unable to link compiled script class.");
    return false;
  }
  AssetRecord record;
  VADClient::GetAssetInfo(asset, kAssetInfoMaskTexts, record);
  const char* category = record.category.c_str();
  const bool vehicle = MatchCategoryExpression(category, "TR;TV");
  const bool signal = MatchCategoryExpression(category, "?WA");
  const bool trackside = vehicle || signal || MatchCategoryExpression(category, "TO");
  struct KindTest {
    const char* base;
    bool expected;
    const char* message;
  };
  const KindTest tests[] = {
      {"Vehicle", vehicle, "Script class does not match asset kind (vehicle)."},
      {"Trackside", trackside, "Script class does not match asset kind (trackside)."},
      {"Signal", signal, "Script class does not match asset kind (signal)."},
  };
  for (const KindTest& test : tests) {
    if (cls->InheritsFrom(test.base) == test.expected) continue;
    AddAssetError(log, *this, test.message);
    return false;
  }
  return true;
}

BrindlemoxSpec* VADScript_VandruBaseSpecFactory::Create(const KUID& asset,
                                                        const Kiv::PString& contentSet,
                                                        const Soup& config,
                                                        const Kiv::String& parentFolder,
                                                        const Kiv::String& folderName) {
  return MakeVandruBaseSpec(asset, contentSet, config, parentFolder, folderName);
}

VandruBaseSpec* CastToVandruBaseSpec(BrindlemoxSpec* spec) {
  return dynamic_cast<VandruBaseSpec*>(spec);
}

SpecRef GetVandruBaseSpec(SpecRef& out, const KUID& kuid) {
  return GetSpecForKUID(out, kuid, &AcceptVandruBaseSpec);
}

void InstallVandruBaseSpecMaker() {
  SpecRegistry::SetDirectSpecMaker(&MakeVandruBaseSpec);
}

void SetLibraryCacheLimit(int64_t bytes) {
  g_cacheLimit = bytes;
}
