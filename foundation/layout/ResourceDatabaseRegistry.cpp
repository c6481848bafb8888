#include "foundation/layout/ResourceDatabaseRegistry.h"

#include <array>
#include <memory>

#include "kiv/CriticalSection.h"

namespace {

constexpr uint32_t kMaxEntries = 256;

struct Entry {
  Kiv::PString name;
  std::unique_ptr<VandruResourceDatabase> database;
  uint32_t uses = 0;
};

struct Registry {
  Kiv::CriticalSection lock;
  uint32_t count = 0;
  std::array<Entry, kMaxEntries> entries;
};

// Never destroyed: databases still registered at exit keep their roots, and
// no static destructor runs after a command ends anyway.
Registry& TheRegistry() {
  static Registry* const registry = new Registry;
  return *registry;
}

Entry* FindByName(Registry& registry, const Kiv::PString& name) {
  for (uint32_t i = 0; i < registry.count; ++i) {
    if (registry.entries[i].name == name) return &registry.entries[i];
  }
  return nullptr;
}

Entry* FindByDatabase(Registry& registry, const VandruResourceDatabase* database) {
  if (database == nullptr) return nullptr;
  for (uint32_t i = 0; i < registry.count; ++i) {
    if (registry.entries[i].database.get() == database) return &registry.entries[i];
  }
  return nullptr;
}

// The caller holds the lock.
void SweepLocked(Registry& registry) {
  uint32_t i = 0;
  while (i < registry.count) {
    Entry& entry = registry.entries[i];
    if (entry.database == nullptr || entry.uses != 0) {
      ++i;
      continue;
    }
    entry.database.reset();
    entry.name.Release();
    // The last entry takes this place and is visited next.
    --registry.count;
    if (i != registry.count) entry = std::move(registry.entries[registry.count]);
  }
}

}  // namespace

VandruResourceDatabase* AcquireSharedEntry(const Kiv::PString& name,
                                           const Kiv::File::Path& folder, bool mayBeArchive) {
  if (name.Empty()) return nullptr;
  Registry& registry = TheRegistry();
  Kiv::SingleLock hold(registry.lock);
  if (Entry* found = FindByName(registry, name)) {
    ++found->uses;
    return found->database.get();
  }
  if (registry.count == kMaxEntries) SweepLocked(registry);
  if (registry.count == kMaxEntries) return nullptr;
  Entry& entry = registry.entries[registry.count];
  entry.database = std::make_unique<VandruResourceDatabase>(name, folder, mayBeArchive);
  entry.name = name;
  entry.uses = 1;
  ++registry.count;
  return entry.database.get();
}

void AddTrackedRef(const VandruResourceDatabase* database) {
  Registry& registry = TheRegistry();
  Kiv::SingleLock hold(registry.lock);
  if (Entry* entry = FindByDatabase(registry, database)) ++entry->uses;
}

void ReleaseTrackedRef(const VandruResourceDatabase* database) {
  Registry& registry = TheRegistry();
  Kiv::SingleLock hold(registry.lock);
  Entry* entry = FindByDatabase(registry, database);
  if (entry != nullptr && entry->uses > 0) --entry->uses;
}

void SweepUnusedEntries() {
  Registry& registry = TheRegistry();
  Kiv::SingleLock hold(registry.lock);
  SweepLocked(registry);
}

uint32_t GetSharedEntryCount() {
  Registry& registry = TheRegistry();
  Kiv::SingleLock hold(registry.lock);
  return registry.count;
}

uint32_t GetTrackedRefCount(const VandruResourceDatabase* database) {
  Registry& registry = TheRegistry();
  Kiv::SingleLock hold(registry.lock);
  const Entry* entry = FindByDatabase(registry, database);
  return entry == nullptr ? 0 : entry->uses;
}
