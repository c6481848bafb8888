#include "gscompiler/GSLibraryStrings.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/containers/HashTable.h"
#include "gscompiler/GslChunkWriter.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"

namespace GSCompiler {

namespace {

constexpr size_t kFirstSlots = 1024;

uint32_t HashText(std::string_view text) {
  uint32_t hash = 2166136261u;
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

// Enters index + 1 of every text into `slots` (all empty).
void FillSlots(std::vector<uint32_t>& slots, const std::vector<std::string_view>& texts) {
  const size_t mask = slots.size() - 1;
  for (size_t index = 0; index < texts.size(); ++index) {
    size_t i = HashText(texts[index]) & mask;
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = static_cast<uint32_t>(index + 1);
  }
}

}  // namespace

uint32_t GSLibraryStrings::Index(const char* text) {
  const std::string_view key(text != nullptr ? text : "");
  try {
    if (slots_.empty()) slots_.assign(kFirstSlots, 0);
    const size_t mask = slots_.size() - 1;
    size_t slot = HashText(key) & mask;
    for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
      if (byIndex_[slots_[slot] - 1] == key) return slots_[slot] - 1;
    }
    if (Count() >= kNoIndex - 1) throw std::bad_alloc();
    char* copy = static_cast<char*>(texts_.Allocate(key.size() + 1, 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, key.data(), key.size());
    copy[key.size()] = '\0';
    const uint32_t index = Count();
    byIndex_.emplace_back(copy, key.size());
    if (byIndex_.size() * 2 <= slots_.size()) {
      slots_[slot] = index + 1;
      return index;
    }
    try {
      std::vector<uint32_t> grown(slots_.size() * 2, 0);
      FillSlots(grown, byIndex_);
      slots_.swap(grown);
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
  std::vector<uint32_t>().swap(slots_);
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
  std::vector<uint32_t> order(count);
  {
    std::vector<uint32_t> bucket(count);
    for (uint32_t i = 0; i < count; ++i) {
      bucket[i] = HashName(byIndex_[i].data()) % GSLibraryFormat::kGslStringBuckets;
      order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      if (bucket[a] != bucket[b]) return bucket[a] < bucket[b];
      return byIndex_[a] < byIndex_[b];
    });
  }
  const uint32_t start = GslBeginChunk(out, GSLibraryFormat::TagStrings);
  out.WriteU32(count);
  // The offset table is reserved, then filled in layout order.
  const uint32_t table = out.position;
  if (uint64_t{count} * 4 > UINT32_MAX - table) {
    out.errors |= ByteBuffer::kGrowthFailed;
    return;
  }
  for (uint32_t i = 0; i < count; ++i) out.WriteU32(0);
  uint32_t at = 0;
  for (uint32_t i : order) {
    GslPatchU32(out, table + 4 * i, at);
    at += static_cast<uint32_t>(byIndex_[i].size()) + 1;
  }
  for (uint32_t i : order)
    GslWriteBytes(out, byIndex_[i].data(), static_cast<uint32_t>(byIndex_[i].size()) + 1);
  GslPadTo4(out, 0);
  GslEndChunk(out, start);
}

}  // namespace GSCompiler

uint32_t GSLibraryStringIndex(GSCompiler::GSLibraryStrings& strings, const char* text) {
  return strings.Index(text);
}
