#include "gscompiler/GSLibraryStrings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "foundation/containers/HashTable.h"
#include "gscompiler/GslChunkWriter.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"

namespace GSCompiler {

namespace {

constexpr size_t kFirstSlots = 1024;
// A slot holds index + 1 below the mask, so the table stops at 2^32 slots.
constexpr uint64_t kMostSlots = uint64_t{1} << 32;
constexpr uint32_t kBuckets = GSLibraryFormat::kGslStringBuckets;
// How many texts ahead of the one being placed the rehash and the write
// fetch.
constexpr uint32_t kFetchAhead = 8;

uint32_t HashText(std::string_view text) {
  uint32_t hash = 2166136261u;
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  // Mixed so that the low bits (the slot) and the high bits (the tag) both
  // depend on every byte.
  hash ^= hash >> 16;
  hash *= 0x85EBCA6Bu;
  hash ^= hash >> 13;
  return hash;
}

// The first 8 bytes of `text` as one big-endian number, zeros past its end:
// two texts' prefixes compare as their first 8 bytes do byte-wise (a text
// holds no NUL, so a zero past the end sorts a shorter text first).
uint64_t PrefixOf(std::string_view text) {
  uint64_t prefix = 0;
  const size_t n = std::min<size_t>(text.size(), 8);
  for (size_t k = 0; k < 8; ++k)
    prefix = prefix << 8 | (k < n ? static_cast<unsigned char>(text[k]) : 0u);
  return prefix;
}

}  // namespace

struct GSLibraryStrings::SortKey {
  uint64_t prefix;
  const char* text;
  uint32_t size;
  uint32_t index;
};

// The hashes are made a few texts ahead, so that each slot is being
// fetched before it is probed.
void GSLibraryStrings::FillSlots(std::vector<uint32_t>& slots) const {
  const uint32_t mask = static_cast<uint32_t>(slots.size() - 1);
  const uint32_t count = Count();
  std::array<uint32_t, kFetchAhead> ahead{};
  for (uint32_t index = 0; index < count + kFetchAhead; ++index) {
    uint32_t& pending = ahead[index % kFetchAhead];
    if (index >= kFetchAhead) {
      const uint32_t hash = pending;
      uint32_t i = hash & mask;
      while (slots[i] != 0) i = (i + 1) & mask;
      slots[i] = (hash & ~mask) | (index - kFetchAhead + 1);
    }
    if (index < count) {
      pending = HashText(Text(index));
      __builtin_prefetch(&slots[pending & mask]);
    }
  }
}

uint32_t GSLibraryStrings::Index(const char* text) {
  const std::string_view key(text != nullptr ? text : "");
  const uint32_t hash = HashText(key);
  try {
    if (slots_.empty()) {
      // The first look-up, or the first after Write freed the slots.
      size_t size = kFirstSlots;
      while (size < (byIndex_.size() + 1) * 2) size *= 2;
      std::vector<uint32_t> fresh(size, 0);
      FillSlots(fresh);
      slots_.swap(fresh);
    }
    const uint32_t mask = static_cast<uint32_t>(slots_.size() - 1);
    const uint32_t tag = hash & ~mask;
    uint32_t slot = hash & mask;
    for (uint32_t entry; (entry = slots_[slot]) != 0; slot = (slot + 1) & mask) {
      if ((entry & ~mask) != tag) continue;
      const uint32_t index = (entry & mask) - 1;
      if (Text(index) == key) return index;
    }
    const bool grow = (byIndex_.size() + 1) * 2 > slots_.size();
    if (grow && uint64_t{slots_.size()} >= kMostSlots) throw std::bad_alloc();
    if (key.size() >= UINT32_MAX) throw std::bad_alloc();
    // The text may be one of the table's own, which growing the buffer moves.
    const auto at = reinterpret_cast<uintptr_t>(key.data());
    const auto base = reinterpret_cast<uintptr_t>(texts_.Data());
    const bool own = texts_.Data() != nullptr && at >= base && at < base + texts_.size;
    if (texts_.Data() == nullptr && !texts_.Init(kFirstTextBytes)) throw std::bad_alloc();
    const uint32_t offset = texts_.position;
    unsigned char* copy = GslReserveBytes(texts_, static_cast<uint32_t>(key.size()) + 1);
    if (copy == nullptr) {
      texts_.errors = 0;  // the buffer is unchanged and the texts so far stay usable
      throw std::bad_alloc();
    }
    const char* from = own ? reinterpret_cast<const char*>(texts_.Data()) + (at - base) : key.data();
    std::memmove(copy, from, key.size());
    copy[key.size()] = '\0';
    const uint32_t index = Count();
    try {
      byIndex_.push_back(Entry{offset, static_cast<uint32_t>(key.size())});
    } catch (const std::bad_alloc&) {
      texts_.position = texts_.size = offset;
      throw;
    }
    if (!grow) {
      slots_[slot] = tag | (index + 1);
    } else {
      try {
        std::vector<uint32_t> grown(slots_.size() * 2, 0);
        FillSlots(grown);
        slots_.swap(grown);
      } catch (const std::bad_alloc&) {
        byIndex_.pop_back();
        texts_.position = texts_.size = offset;
        throw;
      }
    }
    return index;
  } catch (const std::bad_alloc&) {
    failed_ = true;
    return kNoIndex;
  }
}

void GSLibraryStrings::Prefetch(const char* text) const {
  if (slots_.empty()) return;
  const uint32_t hash = HashText(text != nullptr ? text : "");
  __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
}

void GSLibraryStrings::Clear() {
  std::vector<uint32_t>().swap(slots_);
  byIndex_.clear();
  texts_.Free();
  failed_ = false;
}

void GSLibraryStrings::Write(ByteBuffer& out) {
  // The slots are not needed to lay out the chunk: freeing them first
  // lowers the peak of a large library's write.
  std::vector<uint32_t>().swap(slots_);
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

void GSLibraryStrings::SortBucket(const uint32_t* indices, uint32_t n,
                                  std::vector<SortKey>& keys) const {
  keys.resize(n);
  // A bucket's indices lie far apart: their views and texts are fetched
  // ahead (the views twice as far, as the texts are found through them).
  for (uint32_t k = 0; k < n; ++k) {
    if (k + 2 * kFetchAhead < n) __builtin_prefetch(&byIndex_[indices[k + 2 * kFetchAhead]]);
    if (k + kFetchAhead < n) __builtin_prefetch(Text(indices[k + kFetchAhead]).data());
    const std::string_view text = Text(indices[k]);
    keys[k] = SortKey{PrefixOf(text), text.data(), static_cast<uint32_t>(text.size()), indices[k]};
  }
  // Equal prefixes mean equal first 8 bytes (or equal texts, which only a
  // key compared with itself has): the rest decides.
  std::sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const uint32_t skip = std::min<uint32_t>({a.size, b.size, 8});
    return std::string_view(a.text + skip, a.size - skip) <
           std::string_view(b.text + skip, b.size - skip);
  });
}

void GSLibraryStrings::WriteChunk(ByteBuffer& out) const {
  const uint32_t count = Count();
  // The indices grouped by bucket, each group in index order.
  std::vector<uint32_t> byBucket(count);
  std::array<uint32_t, kBuckets + 1> first{};
  {
    std::vector<uint8_t> bucketOf(count);
    for (uint32_t i = 0; i < count; ++i) {
      bucketOf[i] = static_cast<uint8_t>(HashName(Text(i).data()) % kBuckets);
      ++first[bucketOf[i] + 1];
    }
    for (uint32_t b = 0; b < kBuckets; ++b) first[b + 1] += first[b];
    std::array<uint32_t, kBuckets> next;
    std::copy(first.begin(), first.begin() + kBuckets, next.begin());
    for (uint32_t i = 0; i < count; ++i) byBucket[next[bucketOf[i]]++] = i;
  }

  const uint32_t start = GslBeginChunk(out, GSLibraryFormat::TagStrings);
  // texts_ holds each text once with its NUL, and nothing else.
  const uint64_t body = 4 + uint64_t{count} * 4 + (texts_.Data() != nullptr ? texts_.size : 0);
  const uint64_t end = uint64_t{out.position} + body;
  if (end + 3 > UINT32_MAX) {
    out.errors |= ByteBuffer::kGrowthFailed;
    return;
  }
  const uint32_t pad = static_cast<uint32_t>((4 - end % 4) % 4);
  unsigned char* at = GslReserveBytes(out, static_cast<uint32_t>(body) + pad);
  if (at == nullptr) return;
  GslStoreU32(at, count);
  unsigned char* const table = at + 4;
  unsigned char* const texts = table + uint64_t{count} * 4;
  uint32_t offset = 0;
  std::vector<SortKey> keys;
  for (uint32_t b = 0; b < kBuckets; ++b) {
    SortBucket(byBucket.data() + first[b], first[b + 1] - first[b], keys);
    const uint32_t n = static_cast<uint32_t>(keys.size());
    for (uint32_t k = 0; k < n; ++k) {
      if (k + kFetchAhead < n) __builtin_prefetch(keys[k + kFetchAhead].text);
      const SortKey& key = keys[k];
      GslStoreU32(table + uint64_t{key.index} * 4, offset);
      std::memcpy(texts + offset, key.text, key.size + 1);
      offset += key.size + 1;
    }
  }
  std::memset(texts + offset, 0, pad);
  GslEndChunk(out, start);
}

}  // namespace GSCompiler

uint32_t GSLibraryStringIndex(GSCompiler::GSLibraryStrings& strings, const char* text) {
  return strings.Index(text);
}
