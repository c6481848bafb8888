// SpecRegistry: the process-wide registry of asset specs by KUID.
//
// One registry is made when the daemon client opens the asset database and
// destroyed when it closes; the constructor makes it the global registry
// (Instance) and the destructor clears that again. It keeps every
// registered spec (`specs`), the specs retired as invalid (`retired`), the
// factories added to it and a table of 4093 buckets by KUID, bucket
// ((contentId << 5) XOR version XOR userId) as unsigned, modulo 4093.
//
// CreateSpec makes a spec with the factory named by the configuration's
// "kind" tag, else with the default factory, else with the direct spec maker
// that the asset layer installs (SetDirectSpecMaker; a plain BrindlemoxSpec
// while none is installed). The spec is registered (a second spec of one
// KUID goes beside the first; Find answers the first) and `out` holds it
// with one use; without a spec `out` becomes null.
//
// Find answers the first registered spec of a KUID with one use added, or
// null: at once, without the lock, for the null KUID and for the reserved
// KUID (-1, -2, 127).
//
// Validate keeps a spec registered when it is valid (flag kSpecValid, then
// OnValidated) and otherwise retires it: out of the table and `specs`, into
// `retired`. A spec with the null KUID is never valid. Discard records the
// release stamp and, the first time only, marks the spec `activated`, calls
// Activate and then Validate.
//
// ReleaseAll frees every spec that no handle holds (useCount 0 and a release
// stamp not newer than the current one), retired or registered, again and
// again until a round frees nothing (freeing one spec may release others).
// A freed spec leaves the table as well, its safe pointers are cleared, and
// it is deleted through its virtual destructor. A spec that a handle still
// holds is never freed, retired or not: it stays where it is and is freed by
// a later ReleaseAll once it is let go. Then, when specs remain (registered
// or retired), it logs "Leaked specs:" and one line "  (%4d) - %s" for each
// with its useCount and log name, registered specs first; this report is
// what tells a long-running host that specs pile up. Last it deletes every
// factory added to the registry. The log names are asked of the daemon
// (SpecLogName) only after the lock is let go.
//
// Destruction runs ReleaseAll. Specs still held then are not freed (their
// handles stay valid): they are kept in a process-wide list of orphans,
// which the next registry takes into its `retired`, so that they are freed
// once let go; until then they stay reachable.
//
// Concurrency: every operation takes the one process-wide registry lock (a
// recursive Kiv::CriticalSection) for its whole run, except Find's early
// answers. Spec handles are counted without the lock (foundation/SpecRef.h).
// Factories' Create, spec constructors and spec destructors run under the
// lock. Safe pointers to specs must be read under the lock.
//
// Failure: nothing here fails but for exhaustion of memory. A null spec or
// factory given to any operation is ignored.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/containers/ChunkList.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/BXSpecFactory.h"
#include "foundation/spec/BrindlemoxSpec.h"
#include "foundation/spec/SpecRef.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class SpecRegistry {
 public:
  static constexpr uint32_t kBucketCount = 4093;

  // Makes a spec where no factory does. Installed once by the asset layer at
  // start-up; null restores the plain BrindlemoxSpec.
  using DirectSpecMaker = BrindlemoxSpec* (*)(const KUID& asset, const Kiv::PString& contentSet,
                                              const Soup& config, const Kiv::String& parentFolder,
                                              const Kiv::String& folderName);

  SpecRegistry();
  ~SpecRegistry();
  SpecRegistry(const SpecRegistry&) = delete;
  SpecRegistry& operator=(const SpecRegistry&) = delete;

  // The global registry, or null while none exists.
  static SpecRegistry* Instance();
  static void SetDirectSpecMaker(DirectSpecMaker maker);
  static uint32_t BucketOf(const KUID& asset);

  void CreateSpec(SpecRef& out, const KUID& asset, const Kiv::PString& contentSet,
                  const Soup& config, const Kiv::String& parentFolder,
                  const Kiv::String& folderName);
  SpecRef Find(const KUID& asset);
  void Validate(BrindlemoxSpec* spec);
  void Discard(BrindlemoxSpec* spec);
  void ReleaseAll();

  // Takes ownership of `factory` (once; adding it again changes nothing).
  void AddFactory(BXSpecFactory* factory);
  // Not owned; null for none. The compile request installs one for the time
  // of one compile.
  void SetDefaultFactory(BXSpecFactory* factory);
  BXSpecFactory* DefaultFactory() const;

  // Takes `factory` out of the global registry's list and default slot; the
  // factory's destructor calls this.
  static void ForgetFactory(const BXSpecFactory* factory);

  // For diagnostics and tests.
  uint32_t SpecCount() const;
  uint32_t RetiredCount() const;
  uint32_t IndexedCount() const;
  uint32_t FactoryCount() const;
  // Specs held past the end of a registry and not yet taken over by another.
  static uint32_t OrphanCount();

 private:
  using SpecList = ChunkList<BrindlemoxSpec*>;
  BXSpecFactory* FactoryFor(const Soup& config);
  void Register(BrindlemoxSpec* spec);
  void RemoveFromIndex(BrindlemoxSpec* spec);
  bool FreeUnused(SpecList& list, bool indexed);
  void DeleteFactories();

  SpecList specs_;
  SpecList retired_;
  ChunkList<BXSpecFactory*> factories_;
  std::unique_ptr<SpecList[]> byKUID_;
  uint32_t byKUIDCount_ = 0;
  BXSpecFactory* defaultFactory_ = nullptr;
};
