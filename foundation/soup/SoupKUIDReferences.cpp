#include "foundation/soup/SoupKUIDReferences.h"

#include <set>
#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ACSConvert.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "kiv/String.h"

namespace {

// Appends KUIDs to a list once each. The list's own contents count as seen;
// a set keeps the membership test cheap for long lists.
class KUIDAppender {
 public:
  explicit KUIDAppender(KUIDList& list) : list_(list) {
    for (const KUID& kuid : list_) seen_.insert(Key(kuid));
  }

  void Add(const KUID& kuid) {
    if (kuid.IsNull()) return;
    if (!seen_.insert(Key(kuid)).second) return;
    list_.Append(kuid);
  }

 private:
  using KeyType = std::tuple<int32_t, int32_t, int32_t>;
  static KeyType Key(const KUID& k) { return {k.userId, k.contentId, k.version}; }

  KUIDList& list_;
  std::set<KeyType> seen_;
};

// A KUID from a value of exactly 8 bytes, else the null KUID.
KUID KUIDFromCore(const ACSRawDataCore* core) {
  if (core == nullptr || core->Size() != 8) return kNullKUID;
  return KUIDFromRawBytes(core->Data());
}

// The KUID of a text value, read as written.
KUID KUIDFromText(const ACSRawDataCore* core) {
  std::string text(ACSRawDataCore::TextView(core));
  return ParseKUID(text.c_str(), false);
}

// The KUID a tag names for CollectKUIDs, or the null KUID.
KUID CollectedKUID(const ACSChunk* child) {
  const uint32_t type = child->GetType();
  CoreRef core = ACSChunk::GetRawData(child);
  if (type == SoupType::kString) {
    std::string text(ACSRawDataCore::TextView(core.get()));
    return ParseKUID(text.c_str(), true);
  }
  if (type == SoupType::kKUID) return KUIDFromCore(core.get());
  return kNullKUID;
}

struct Frame {
  ChunkRef chunk;
  uint32_t next = 0;
};

}  // namespace

void CollectKUIDs(const Soup& soup, KUIDList& list) {
  if (soup.IsNull()) return;
  KUIDAppender appender(list);
  std::vector<Frame> path;
  std::unordered_set<const ACSChunk*> onPath;
  path.push_back(Frame{soup.GetChunkRef(), 0});
  onPath.insert(soup.GetChunk());
  while (!path.empty()) {
    Frame& top = path.back();
    Kiv::PString name;
    ChunkRef child;
    if (!top.chunk->GetChildAt(top.next++, name, child)) {
      onPath.erase(top.chunk.get());
      path.pop_back();
      continue;
    }
    if (IsNullChunk(child.get())) continue;
    if (child->GetType() != SoupType::kContainer) {
      appender.Add(CollectedKUID(child.get()));
      continue;
    }
    if (!onPath.insert(child.get()).second) continue;
    path.push_back(Frame{std::move(child), 0});
  }
}

void GetKUIDList(const Soup& table, KUIDList& list) {
  if (table.IsNull()) return;
  KUIDAppender appender(list);
  const ACSChunk* chunk = table.GetChunk();
  const uint32_t count = chunk->CountChildren();
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (!chunk->GetChildAt(i, name, child) || IsNullChunk(child.get())) continue;
    const uint32_t type = child->GetType();
    CoreRef value = ACSChunk::GetRawData(child.get());
    if (type == SoupType::kString) {
      appender.Add(KUIDFromText(value.get()));
      continue;
    }
    value = ACSConvert(type, std::move(value), SoupType::kKUID);
    appender.Add(KUIDFromCore(value.get()));
  }
}

KUID GetNamedKUIDAsWritten(const Soup& soup, const Kiv::PString& name) {
  if (soup.GetNamedTagType(name) != SoupType::kString)
    return soup.GetNamedTagAsKUID(name, kNullKUID);
  return ParseKUID(soup.GetNamedTag(name).c_str(), false);
}

void SetKUIDTableEntry(Soup& table, const Kiv::PString& name, const KUID& kuid) {
  if (KUIDReadsBack(kuid)) {
    table.SetNamedKUID(name, kuid);
    return;
  }
  table.SetNamedTag(name, KUIDToTagString(kuid).View());
}

Soup SetKUIDList(KUIDList& list) {
  Soup table;
  table.Create();
  int32_t n = 0;
  for (const KUID& kuid : list) {
    if (kuid.IsNull()) continue;
    SetKUIDTableEntry(table, Kiv::PString(Kiv::StringPrintf("%d", n)), kuid);
    ++n;
  }
  return table;
}
