#include "assetdb/archive/CDPEntryConfig.h"

#include <cstdint>
#include <unordered_set>

#include "assetdb/archive/CDPDependencies.h"
#include "assetdb/protocol/KUIDOrderedSet.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/text/StringHelpers.h"
#include "kiv/String.h"

namespace CDP {

namespace {

// The number at the start of a tag name as "%d" reads it (leading blanks,
// an optional sign, digits), clamped to 32 bits; -1 when there is none.
int64_t LeadingNumber(std::string_view name) {
  size_t i = 0;
  while (i < name.size() && (name[i] == ' ' || (name[i] >= '\t' && name[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < name.size() && (name[i] == '-' || name[i] == '+')) negative = name[i++] == '-';
  if (i >= name.size() || name[i] < '0' || name[i] > '9') return -1;
  int64_t value = 0;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
    value = value * 10 + (name[i] - '0');
    if (value > INT32_MAX) value = int64_t(INT32_MAX) + 1;
  }
  if (negative) return -value < INT32_MIN ? INT32_MIN : -value;
  return value > INT32_MAX ? INT32_MAX : value;
}

void MergeIntoTable(Soup& config, KUIDList& dependencies, bool& changed) {
  Soup table = config.GetNamedSoup(Tag::KUIDTable());
  if (table.CountTags() == 0) {
    if (dependencies.Count() != 0) changed = true;
    Soup fresh = SetKUIDList(dependencies);
    config.SetNamedSoup(Tag::KUIDTable(), fresh);
    return;
  }
  int64_t highest = -1;
  const uint32_t count = table.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t number = LeadingNumber(table.GetIndexedTagName(i).View());
    if (number > highest) highest = number;
  }
  KUIDList held;
  GetKUIDList(table, held);
  std::unordered_set<KUID, KUIDHash> present;
  for (const KUID& kuid : held) present.insert(kuid);
  for (const KUID& kuid : dependencies) {
    if (!present.insert(kuid).second) continue;
    ++highest;
    SetKUIDTableEntry(
        table, Kiv::PString(Kiv::StringPrintf("%lld", static_cast<long long>(highest))), kuid);
    changed = true;
  }
  config.SetNamedSoup(Tag::KUIDTable(), table);
}

}  // namespace

void EntryToConfig(CDPEntry& entry, Soup& config) {
  Soup::Copy(config, entry.soup);
  for (const Kiv::PString* name :
       {&Tag::Files(), &Tag::DSID(), &Tag::Compression(), &Tag::FolderIcon()}) {
    config.RemoveNamedTag(*name);
  }
  const Kiv::PString kind = config.GetNamedTag(Tag::Kind());
  Kiv::PString lowered = kind;
  PStringToLower(lowered);
  if (lowered != kind) {
    config.SetNamedTag(Tag::Kind(), lowered);
    entry.changed = true;
  }
  if (config.HasNamedTag(Tag::Cache())) {
    config.RemoveNamedTag(Tag::Cache());
    entry.changed = true;
  }
  KUIDList dependencies;
  CollectDependencies(entry.soup, GetEntryKUID(entry.soup), dependencies);
  MergeIntoTable(config, dependencies, entry.changed);
}

}  // namespace CDP
