#include "foundation/spec/SpecRegistry.h"

#include <atomic>
#include <utility>
#include <vector>

#include "foundation/base/LogMessage.h"
#include "kiv/CriticalSection.h"

namespace {

constexpr KUID kReservedKUID{-1, -2, 127};

// The registry lock and the orphans outlive every registry and are never
// destroyed: no static destructor runs after a command ends, and orphans
// must stay reachable for as long as their handles live.
Kiv::CriticalSection& RegistryLock() {
  static Kiv::CriticalSection* const lock = new Kiv::CriticalSection;
  return *lock;
}

ChunkList<BrindlemoxSpec*>& Orphans() {
  static ChunkList<BrindlemoxSpec*>* const orphans = new ChunkList<BrindlemoxSpec*>;
  return *orphans;
}

std::atomic<SpecRegistry*> g_instance{nullptr};
std::atomic<SpecRegistry::DirectSpecMaker> g_directMaker{nullptr};

bool IsUnused(const BrindlemoxSpec* spec) {
  return spec->useCount.Get() == 0 &&
         spec->releaseStamp.load(std::memory_order_relaxed) <= SpecReleaseStamp();
}

template <typename T>
bool EraseFirst(ChunkList<T>& list, const T& value) {
  auto it = list.Find(value);
  if (it.AtEnd()) return false;
  list.Erase(it);
  return true;
}

void MoveAll(ChunkList<BrindlemoxSpec*>& from, ChunkList<BrindlemoxSpec*>& to) {
  for (BrindlemoxSpec* spec : from) to.PushBack(spec);
  from.FreeBlocks();
}

}  // namespace

SpecRegistry::SpecRegistry() : byKUID_(new SpecList[kBucketCount]) {
  Kiv::SingleLock hold(RegistryLock());
  MoveAll(Orphans(), retired_);
  g_instance.store(this);
}

SpecRegistry::~SpecRegistry() {
  ReleaseAll();
  Kiv::SingleLock hold(RegistryLock());
  // Whatever is left is still held by someone: keep it for the next
  // registry rather than freeing it under its holders.
  MoveAll(specs_, Orphans());
  MoveAll(retired_, Orphans());
  SpecRegistry* self = this;
  g_instance.compare_exchange_strong(self, nullptr);
  byKUID_.reset();
  byKUIDCount_ = 0;
  factories_.FreeBlocks();
}

SpecRegistry* SpecRegistry::Instance() {
  return g_instance.load();
}

void SpecRegistry::SetDirectSpecMaker(DirectSpecMaker maker) {
  g_directMaker.store(maker);
}

uint32_t SpecRegistry::BucketOf(const KUID& asset) {
  const uint32_t hash = (static_cast<uint32_t>(asset.contentId) << 5) ^
                        static_cast<uint32_t>(asset.version) ^ static_cast<uint32_t>(asset.userId);
  return hash % kBucketCount;
}

BXSpecFactory* SpecRegistry::FactoryFor(const Soup& config) {
  const Kiv::PString kind = config.GetNamedTag(Kiv::PString("kind"));
  for (BXSpecFactory* factory : factories_) {
    if (factory->name == kind) return factory;
  }
  return defaultFactory_;
}

void SpecRegistry::CreateSpec(SpecRef& out, const KUID& asset, const Kiv::PString& contentSet,
                              const Soup& config, const Kiv::String& parentFolder,
                              const Kiv::String& folderName) {
  Kiv::SingleLock hold(RegistryLock());
  BrindlemoxSpec* spec = nullptr;
  if (BXSpecFactory* factory = FactoryFor(config)) {
    spec = factory->Create(asset, contentSet, config, parentFolder, folderName);
  } else if (DirectSpecMaker maker = g_directMaker.load()) {
    spec = maker(asset, contentSet, config, parentFolder, folderName);
  } else {
    spec = new BrindlemoxSpec(asset, contentSet, parentFolder, folderName);
  }
  if (spec) Register(spec);
  out.Assign(spec);
}

void SpecRegistry::Register(BrindlemoxSpec* spec) {
  specs_.PushBack(spec);
  byKUID_[BucketOf(spec->asset)].PushBack(spec);
  ++byKUIDCount_;
}

void SpecRegistry::RemoveFromIndex(BrindlemoxSpec* spec) {
  if (EraseFirst(byKUID_[BucketOf(spec->asset)], spec)) --byKUIDCount_;
}

SpecRef SpecRegistry::Find(const KUID& asset) {
  if (asset.IsNull() || asset == kReservedKUID) return SpecRef();
  Kiv::SingleLock hold(RegistryLock());
  for (BrindlemoxSpec* spec : byKUID_[BucketOf(asset)]) {
    if (spec->asset == asset) return SpecRef(spec);
  }
  return SpecRef();
}

void SpecRegistry::Validate(BrindlemoxSpec* spec) {
  if (!spec) return;
  Kiv::SingleLock hold(RegistryLock());
  spec->flags &= static_cast<uint8_t>(~kSpecValid);
  if (!(spec->flags & kSpecNullKUID) && spec->IsValid()) spec->flags |= kSpecValid;
  if (spec->flags & kSpecValid) {
    spec->OnValidated();
    return;
  }
  RemoveFromIndex(spec);
  EraseFirst(specs_, spec);
  if (retired_.Find(spec).AtEnd()) retired_.PushBack(spec);
}

void SpecRegistry::Discard(BrindlemoxSpec* spec) {
  if (!spec) return;
  Kiv::SingleLock hold(RegistryLock());
  spec->releaseStamp.store(SpecReleaseStamp(), std::memory_order_relaxed);
  if (spec->activated) return;
  spec->activated = 1;
  spec->Activate();
  Validate(spec);
}

// Frees the specs of `list` that nobody holds. They leave the list (and the
// table, when `indexed`) before any is deleted, since a spec's destructor
// may come back into the registry.
bool SpecRegistry::FreeUnused(SpecList& list, bool indexed) {
  std::vector<BrindlemoxSpec*> doomed;
  for (auto it = list.Begin(); !it.AtEnd();) {
    BrindlemoxSpec* spec = *it;
    if (!IsUnused(spec)) {
      it.Next();
      continue;
    }
    if (indexed) RemoveFromIndex(spec);
    it = list.Erase(it);
    doomed.push_back(spec);
  }
  for (BrindlemoxSpec* spec : doomed) {
    spec->ClearSafePointers();
    delete spec;
  }
  return !doomed.empty();
}

void SpecRegistry::DeleteFactories() {
  ChunkList<BXSpecFactory*> doomed = std::move(factories_);
  // Each destructor looks for itself in `factories_`, which no longer holds it.
  if (!doomed.Find(defaultFactory_).AtEnd()) defaultFactory_ = nullptr;
  doomed.DeleteAll();
}

void SpecRegistry::ReleaseAll() {
  // What is left after the purge, as (KUID, uses): the names are asked of
  // the daemon only once the lock is let go.
  std::vector<std::pair<KUID, int32_t>> leaks;
  {
    Kiv::SingleLock hold(RegistryLock());
    for (;;) {
      const bool freedRetired = FreeUnused(retired_, false);
      const bool freedRegistered = FreeUnused(specs_, true);
      if (!freedRetired && !freedRegistered) break;
    }
    for (SpecList* list : {&specs_, &retired_}) {
      for (BrindlemoxSpec* spec : *list) leaks.emplace_back(spec->asset, spec->useCount.Get());
    }
    DeleteFactories();
  }
  if (leaks.empty()) return;
  LogMessage("Leaked specs:");
  for (const auto& [asset, uses] : leaks)
    LogMessage("  (%4d) - %s", uses, SpecLogName(asset).c_str());
}

void SpecRegistry::AddFactory(BXSpecFactory* factory) {
  if (!factory) return;
  Kiv::SingleLock hold(RegistryLock());
  if (factories_.Find(factory).AtEnd()) factories_.PushBack(factory);
}

void SpecRegistry::SetDefaultFactory(BXSpecFactory* factory) {
  Kiv::SingleLock hold(RegistryLock());
  defaultFactory_ = factory;
}

BXSpecFactory* SpecRegistry::DefaultFactory() const {
  Kiv::SingleLock hold(RegistryLock());
  return defaultFactory_;
}

void SpecRegistry::ForgetFactory(const BXSpecFactory* factory) {
  Kiv::SingleLock hold(RegistryLock());
  SpecRegistry* registry = Instance();
  if (!registry) return;
  auto it = registry->factories_.FindIf([&](BXSpecFactory* f) { return f == factory; });
  if (!it.AtEnd()) registry->factories_.Erase(it);
  if (registry->defaultFactory_ == factory) registry->defaultFactory_ = nullptr;
}

uint32_t SpecRegistry::SpecCount() const {
  Kiv::SingleLock hold(RegistryLock());
  return specs_.Count();
}

uint32_t SpecRegistry::RetiredCount() const {
  Kiv::SingleLock hold(RegistryLock());
  return retired_.Count();
}

uint32_t SpecRegistry::IndexedCount() const {
  Kiv::SingleLock hold(RegistryLock());
  return byKUIDCount_;
}

uint32_t SpecRegistry::FactoryCount() const {
  Kiv::SingleLock hold(RegistryLock());
  return factories_.Count();
}

uint32_t SpecRegistry::OrphanCount() {
  Kiv::SingleLock hold(RegistryLock());
  return Orphans().Count();
}
