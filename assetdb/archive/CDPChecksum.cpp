#include "assetdb/archive/CDPChecksum.h"

#include <unordered_set>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "foundation/soup/BinarySoup.h"

namespace CDP {

namespace {

struct Frame {
  ChunkRef chunk;
  uint32_t next = 0;
  ChecksumPair sum;
};

}  // namespace

ChecksumPair ChecksumTree(const Soup& soup) {
  if (soup.IsNull()) return ChecksumPair{};
  std::vector<Frame> path;
  std::unordered_set<const ACSChunk*> onPath;
  path.push_back(Frame{soup.GetChunkRef(), 0, ChecksumPair{}});
  onPath.insert(soup.GetChunk());
  for (;;) {
    Frame& top = path.back();
    Kiv::PString name;
    ChunkRef child;
    if (!top.chunk->GetChildAt(top.next++, name, child)) {
      const ChecksumPair done = top.sum;
      onPath.erase(top.chunk.get());
      path.pop_back();
      if (path.empty()) return done;
      path.back().sum = ChecksumPair::Add(path.back().sum, done);
      continue;
    }
    if (IsNullChunk(child.get())) continue;
    const uint32_t type = child->GetType();
    if (type == SoupType::kRaw) {
      top.sum =
          ChecksumPair::Add(top.sum, ChecksumPair::Compute(child->GetData(), child->GetDataSize()));
      continue;
    }
    if (type != SoupType::kContainer) continue;
    if (path.size() > BinarySoup::kMaxDepth || onPath.count(child.get()) != 0) {
      top.sum = ChecksumPair::Add(top.sum, ChecksumPair{});
      continue;
    }
    onPath.insert(child.get());
    path.push_back(Frame{std::move(child), 0, ChecksumPair{}});
  }
}

ChecksumPair ComputeFilesChecksum(const Soup& entry) {
  return ChecksumTree(GetFiles(entry));
}

void SetDSID(Soup& entry) {
  entry.SetNamedTag(Tag::DSID(), ChecksumPair::ToText(ComputeFilesChecksum(entry)));
}

bool VerifyDSID(const Soup& entry) {
  return entry.GetNamedTag(Tag::DSID()) == ChecksumPair::ToText(ComputeFilesChecksum(entry));
}

}  // namespace CDP
