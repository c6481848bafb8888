// VandruBaseSpec: the spec of an asset that may carry script code. It
// knows the asset's script file and class, compiles every script source of
// the asset folder into the compiled-script cache, loads the compiled
// library into the script machine and resolves the asset's script class.
//
// Construction: with a configuration that is not empty, `kindName` is its
// "kind" and `buildVersion` its build version (1.3 without a
// configuration). Below build 2.50 `assetFileName` is "asset-filename" (or
// the folder name when that is empty), lower-cased; else "default".
//
// Cache: UserData/cache/libraries/"%08x%08x.gsl", the CRC-32 of the source
// text (decoded for ".gse") and the CRC-32 of the lower-cased file name
// with ".gse" written as ".gs"; the two are also the library's id. Beside
// each library, "<that name>.sources" records every source its compile
// read (ScriptLibraryCache.h). A cache file is used only when it reads
// whole as a library (every count and offset checked), carries that id, is
// no larger than the cache holds (64 MiB), and its record agrees with it
// and names included sources that are all, searched for now (the
// include-table assets' folders, the asset's folder, `scripts/`), as they
// were; anything else (stale, cut, foreign, too large, compiled from
// sources that changed or went) is deleted with its record and compiled
// again, once; a second refusal is reported and that file deleted too, so
// no refused library stays in the cache. The library is checked before the machine hears of
// it, and the machine loads the very bytes checked (or just compiled), so
// a bad file, or one another process writes meanwhile, is never loaded.
// A failed compile leaves no cache file (the compiler writes through a
// temporary file). A cache folder that cannot be used (LibraryCacheFolder.h:
// a link at its name or on its way from UserData is never followed) is
// neither read nor written: every source is
// compiled in memory, so the answer is the one a sound cache gives.
//
// CacheScripts(library, folder, primary, log): compiles and announces every
// "*.gs"/"*.gse" of the folder (see above), each read from the folder
// itself (an include-table asset's file of the same name, first in the
// include list, is never compiled in its place); messages at severity 3 with
// the asset as subject: "Unable to read script source file '%s'", "CRC
// Mismatch on '%s' after recompile. Do you have both .gs and .gse
// present?", "$vad_script_library_too_large" (the source's path, the
// library's size and the limit, in bytes) when the library just compiled
// is larger than the cache holds, "VandruBaseSpec::CacheScripts> Syntax error in script of
// asset '%s'" followed by the compiler's lines, "Unable to locate primary
// script source file '$(FILENAME)'". Without a results log (LoadLibrary, for
// an include-table asset) they go to the process's log, each after the
// asset's log name. A spec caches at most once; later calls answer the
// first call's result (never a success after a failure).
// The compiler's include list is restored afterwards.
//
// LoadScriptInfo (request 0x14), PrepareIncludePaths (build 2.90 and above:
// the "script-include-table" walk, each include once), LoadLibrary,
// GetGSClass (stored in `resolvedClass`) and ValidateScript (class against
// the category: "Script class does not match asset kind (vehicle|trackside|
// signal).", "Unable to link compiled script class.").
//
// GetVandruBaseSpec(out, kuid): GetSpecForKUID that accepts only a
// VandruBaseSpec. CastToVandruBaseSpec: the spec as a VandruBaseSpec, or
// null. InstallVandruBaseSpecMaker makes the spec registry make a
// VandruBaseSpec wherever no factory does. VADScript_VandruBaseSpecFactory
// makes one for every asset (the compile request installs it as the
// default factory for one load).
//
// SetLibraryCacheLimit(bytes): the largest library the cache holds from then
// on, instead of 64 MiB; a test hook of the command host (cli/CommandHost.h).
//
// Threads: compiling uses the compiler's process-wide include list and the
// single script machine: one thread at a time (the validating thread).
#pragma once

#include <cstdint>

#include "foundation/soup/Soup.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/spec/BXSpecFactory.h"
#include "foundation/spec/BrindlemoxSpec.h"
#include "foundation/spec/SpecRef.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class LibraryCacheFolder;
class ResultsLog;
struct CheckedLibrary;

namespace GSRuntime {
class GSClass;
class GSLibrary;
}  // namespace GSRuntime

// Bits of VandruBaseSpec::scriptFlags.
inline constexpr uint8_t kScriptNothingToCheck = 0x2;
inline constexpr uint8_t kScriptCached = 0x4;

class VandruBaseSpec : public BrindlemoxSpec {
 public:
  VandruBaseSpec(const KUID& assetId, const Kiv::PString& contentSet, const Soup& config,
                 const Kiv::String& parent, const Kiv::String& folder);

  virtual void OnScriptInfoLoaded() {}

  void LoadScriptInfo();
  void CollectIncludes(KUIDList& list) const;
  bool PrepareIncludePaths();
  bool CacheScripts(const Kiv::String& library, const Kiv::String& folder,
                    const Kiv::String& primary, ResultsLog* log);
  GSRuntime::GSLibrary* LoadLibrary();
  GSRuntime::GSClass* GetGSClass();
  bool ValidateScript(ResultsLog* log);

  Kiv::PString scriptClass;
  Kiv::PString scriptLibrary;
  GSRuntime::GSClass* resolvedClass = nullptr;
  uint8_t scriptFlags = 0;
  uint32_t primaryLibraryId[2] = {0, 0};
  float buildVersion = 1.3f;
  uint8_t modifiedFlags = 0;

 private:
  // The library of one source (`fileName` in the asset's folder, at
  // `sourcePath`) from the cache, or compiled and then saved into it (a
  // save that fails is logged and leaves the library in `library` all the
  // same); false after reporting why not.
  bool CacheOneLibrary(const Kiv::String& fileName, const Kiv::String& sourcePath,
                       const LibraryCacheFolder& cache, const Kiv::String& cacheName,
                       uint32_t textCrc, uint32_t nameCrc, CheckedLibrary* library,
                       ResultsLog* log);
  Kiv::String PrimaryScriptName() const;
  Kiv::String AssetFolder() const;

  Soup config_;
  Kiv::String primaryScript_;
  bool cacheResult_ = false;
};

class VADScript_VandruBaseSpecFactory : public BXSpecFactory {
 public:
  VADScript_VandruBaseSpecFactory() : BXSpecFactory(Kiv::PString()) {}
  BrindlemoxSpec* Create(const KUID& asset, const Kiv::PString& contentSet, const Soup& config,
                         const Kiv::String& parentFolder, const Kiv::String& folderName) override;
};

VandruBaseSpec* CastToVandruBaseSpec(BrindlemoxSpec* spec);
SpecRef GetVandruBaseSpec(SpecRef& out, const KUID& kuid);
void InstallVandruBaseSpecMaker();
void SetLibraryCacheLimit(int64_t bytes);
