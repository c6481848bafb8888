#include "assetdb/archive/CDPDependencies.h"

#include <unordered_map>
#include <unordered_set>

#include "assetdb/archive/CDPArchive.h"
#include "kiv/String.h"

namespace CDP {

namespace {

constexpr const char* kDependencyTags[] = {
    "alias",   "bridgetrack", "bogey",    "preview-mesh-kuid", "map-kuid",   "product-category",
    "bogey-1", "bogey-1-r",   "interior", "enginespec",        "enginesound"};

std::vector<KUID> ToVector(KUIDList& list) {
  std::vector<KUID> out;
  for (const KUID& kuid : list) out.push_back(kuid);
  return out;
}

bool NeedsBuiltinInterior(const Soup& entry) {
  static const Kiv::PString kEngine("engine");
  static const Kiv::PString kInterior("interior");
  return Kiv::EqualsIgnoreCase(entry.GetNamedTag(Tag::Kind()).View(), "traincar") &&
         entry.GetNamedTagAsInt(kEngine, -1) == 1 &&
         entry.GetNamedTagAsKUID(kInterior, kNullKUID).IsNull();
}

// Steps 1 to 5: the entry's dependencies in order, possibly repeated.
std::vector<KUID> EntryDependencies(const Soup& entry, const KUID& own) {
  KUIDList collected;
  CollectKUIDs(entry, collected);
  GetKUIDList(entry.GetNamedSoup(Tag::KUIDTable()), collected);
  std::vector<KUID> found = ToVector(collected);

  KUIDList obsolete;
  GetKUIDList(entry.GetNamedSoup(Tag::ObsoleteTable()), obsolete);
  std::unordered_map<KUID, uint32_t, KUIDHash> toErase;
  for (const KUID& kuid : obsolete) ++toErase[kuid];
  ++toErase[own];

  for (const char* name : kDependencyTags) {
    const KUID kuid = GetNamedKUIDAsWritten(entry, Kiv::PString(name));
    if (!kuid.IsNull()) found.push_back(kuid);
  }
  if (NeedsBuiltinInterior(entry)) found.push_back(kBuiltinInteriorKUID);

  std::vector<KUID> kept;
  kept.reserve(found.size());
  for (const KUID& kuid : found) {
    const auto it = toErase.find(kuid);
    if (it != toErase.end() && it->second > 0) {
      --it->second;
      continue;
    }
    kept.push_back(kuid);
  }
  return kept;
}

// The KUIDs the entry makes obsolete, before the own KUID is taken out.
std::vector<KUID> EntryObsoletes(const Soup& entry) {
  static const Kiv::PString kObsoletesKUID("obsoletes-kuid");
  KUIDList table;
  GetKUIDList(entry.GetNamedSoup(Tag::ObsoleteTable()), table);
  std::vector<KUID> out = ToVector(table);
  const KUID single = GetNamedKUIDAsWritten(entry, kObsoletesKUID);
  if (!single.IsNull()) out.push_back(single);
  return out;
}

std::unordered_set<KUID, KUIDHash> HeldIn(KUIDList& list) {
  std::unordered_set<KUID, KUIDHash> held;
  for (const KUID& kuid : list) held.insert(kuid);
  return held;
}

}  // namespace

void CollectDependencies(const Soup& entry, const KUID& own, KUIDList& out) {
  std::unordered_set<KUID, KUIDHash> held = HeldIn(out);
  for (const KUID& kuid : EntryDependencies(entry, own)) {
    if (held.insert(kuid).second) out.Append(kuid);
  }
}

void CollectDependencies(const Soup& entry, const KUID& own, KUIDOrderedSet& out) {
  for (const KUID& kuid : EntryDependencies(entry, own)) out.Append(kuid);
}

void CollectObsoletes(const Soup& entry, const KUID& own, KUIDList& out) {
  std::unordered_set<KUID, KUIDHash> held = HeldIn(out);
  for (const KUID& kuid : EntryObsoletes(entry)) {
    if (held.insert(kuid).second) out.Append(kuid);
  }
  const auto it = out.Find(own);
  if (it != out.End()) out.Erase(it);
}

void CollectObsoletes(const Soup& entry, const KUID& own, KUIDOrderedSet& out) {
  for (const KUID& kuid : EntryObsoletes(entry)) out.Append(kuid);
  out.Erase(own);
}

}  // namespace CDP
