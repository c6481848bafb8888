#include "gscompiler/GSLibraryStrings.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/containers/HashTable.h"
#include "gscompiler/GslChunkWriter.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"

namespace GSCompiler {

uint32_t GSLibraryStrings::Index(const char* text) {
  const std::string_view key(text != nullptr ? text : "");
  try {
    auto found = indices_.find(key);
    if (found != indices_.end()) return found->second;
    char* copy = static_cast<char*>(texts_.Allocate(key.size() + 1, 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, key.data(), key.size());
    copy[key.size()] = '\0';
    const std::string_view stored(copy, key.size());
    const uint32_t index = Count();
    byIndex_.push_back(stored);
    try {
      indices_.emplace(stored, index);
    } catch (const std::bad_alloc&) {
      byIndex_.pop_back();
      throw;
    }
    return index;
  } catch (const std::bad_alloc&) {
    failed_ = true;
    return kNoIndex;
  }
}

void GSLibraryStrings::Clear() {
  indices_.clear();
  byIndex_.clear();
  texts_.FreeBlocks();
  failed_ = false;
}

void GSLibraryStrings::Write(ByteBuffer& out) const {
  if (failed_) {
    out.errors |= ByteBuffer::kGrowthFailed;
    return;
  }
  try {
    WriteChunk(out);
  } catch (const std::bad_alloc&) {
    out.errors |= ByteBuffer::kGrowthFailed;
  }
}

void GSLibraryStrings::WriteChunk(ByteBuffer& out) const {
  const uint32_t count = Count();
  // The layout order: by bucket, then byte-wise within a bucket.
  std::vector<uint32_t> bucket(count);
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) {
    bucket[i] = HashName(byIndex_[i].data()) % GSLibraryFormat::kGslStringBuckets;
    order[i] = i;
  }
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    if (bucket[a] != bucket[b]) return bucket[a] < bucket[b];
    return byIndex_[a] < byIndex_[b];
  });
  std::vector<uint32_t> offsets(count, 0);
  uint32_t at = 0;
  for (uint32_t i : order) {
    offsets[i] = at;
    at += static_cast<uint32_t>(byIndex_[i].size()) + 1;
  }
  const uint32_t start = GslBeginChunk(out, GSLibraryFormat::TagStrings);
  out.WriteU32(count);
  for (uint32_t offset : offsets) out.WriteU32(offset);
  for (uint32_t i : order)
    GslWriteBytes(out, byIndex_[i].data(), static_cast<uint32_t>(byIndex_[i].size()) + 1);
  GslPadTo4(out, 0);
  GslEndChunk(out, start);
}

}  // namespace GSCompiler

uint32_t GSLibraryStringIndex(GSCompiler::GSLibraryStrings& strings, const char* text) {
  return strings.Index(text);
}
