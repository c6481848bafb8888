#include "render/materials/VandruAlphaBlendCache.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kiv/basics/Matrix4.h"
#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/Material.h"
#include "render/meshes/MeshChunkReader.h"

namespace Kiv {

namespace {

constexpr uint32_t kInitialSortedIndices = 10000;

struct PrimitiveShape {
  uint32_t vertices = 0;  // 0: not sortable
  uint32_t step = 0;
  uint32_t listPrimitive = 0;
};

PrimitiveShape ShapeOf(uint32_t primitive) {
  switch (primitive) {
    case 0:
      return {1, 1, 0};
    case 1:
      return {2, 2, 1};
    case 2:
      return {2, 1, 1};
    case 4:
      return {3, 3, 4};
    case 8:
    case 16:
      return {3, 1, 4};
    default:
      return {};
  }
}

// Primitives in `indexCount` indices of a primitive kind.
uint32_t PrimitiveCount(uint32_t primitive, uint32_t indexCount) {
  const PrimitiveShape shape = ShapeOf(primitive);
  if (shape.vertices == 0 || indexCount < shape.vertices) return 0;
  return (indexCount - shape.vertices) / shape.step + 1;
}

// The chunk-index positions of the vertices of primitive `i`, in drawing
// order (strips alternate their winding, fans share their first vertex).
void PrimitiveVertices(uint32_t primitive, uint32_t i, uint32_t out[3]) {
  const PrimitiveShape shape = ShapeOf(primitive);
  const uint32_t base = i * shape.step;
  for (uint32_t v = 0; v < shape.vertices; ++v) out[v] = base + v;
  if (primitive == 8 && (i & 1) != 0) std::swap(out[0], out[1]);
  if (primitive == 16) {
    out[0] = 0;
    out[1] = i + 1;
    out[2] = i + 2;
  }
}

// A sort item: the complement of the key's bits above the primitive number,
// so that ascending items are descending keys (squared distances are never
// negative, and their bits order as the values do), ties by primitive.
uint64_t SortItem(float key, uint32_t primitive) {
  uint32_t bits;
  std::memcpy(&bits, &key, sizeof bits);
  return uint64_t(~bits) << 32 | primitive;
}

float KeyOf(uint64_t item) {
  const uint32_t bits = ~static_cast<uint32_t>(item >> 32);
  float key;
  std::memcpy(&key, &bits, sizeof key);
  return key;
}

float FastReciprocalSqrt(float s) {
  uint32_t bits;
  std::memcpy(&bits, &s, sizeof bits);
  bits = 0x5F3759DFu - (bits >> 1);
  float r;
  std::memcpy(&r, &bits, sizeof r);
  return r * (1.5f - 0.5f * s * r * r);
}

}  // namespace

VandruAlphaBlendCache::VandruAlphaBlendCache()
    : AlphaBlendCache(PString(AlphaBlendCacheID), 50.0f),
      levels_(1),
      poolStarts_(1, 0),
      sortedIndices_(kInitialSortedIndices) {}

float VandruAlphaBlendCache::DistanceOf(const Matrix4& transform) {
  const float x = transform.m[12], y = transform.m[13], z = transform.m[14];
  const float s = x * x + y * y + z * z;
  return s * FastReciprocalSqrt(s);
}

uint32_t VandruAlphaBlendCache::BucketOf(float distance) const {
  const float scaled = distance * static_cast<float>(kLevelBuckets) / maxDistance_;
  if (!(scaled >= 1.0f)) return 0;  // Also a distance that is not a number.
  if (scaled >= static_cast<float>(kLevelBuckets - 1)) return kLevelBuckets - 1;
  return static_cast<uint32_t>(scaled);
}

void VandruAlphaBlendCache::SetNearDistance(float distance) {
  nearDistance_ = distance;
  nearBucket_ = static_cast<int32_t>(distance * bucketFactor_);
}

void VandruAlphaBlendCache::Add(GeometryChunk* chunk, Material* material,
                                const DisplayLightList* lights, const Matrix4* transform) {
  if (chunk == nullptr || material == nullptr) return;
  static const Matrix4 kIdentity;
  const Matrix4& placed = transform != nullptr ? *transform : kIdentity;
  const float distance = DistanceOf(placed);
  const uint32_t bucket = BucketOf(distance);

  uint32_t number;
  if (!free_.empty()) {
    number = free_.back();
    free_.pop_back();
  } else {
    number = static_cast<uint32_t>(entries_.size());
    entries_.emplace_back();
  }
  Entry& entry = entries_[number];
  entry = Entry{};
  entry.chunk = chunk;
  entry.material = material;
  entry.lights = lights;
  entry.transform = transform;
  entry.key = distance;
  entry.bucket = firstBucket_ + bucket;
  entry.sequence = sequence_++;
  entry.listPrimitive = PrimitiveOfGeometryKind(chunk->GetKind());
  entry.primitives = PrimitiveCount(entry.listPrimitive, chunk->GetNumIndices());
  if (SortsBucket(bucket)) SortPrimitives(entry);
  CurrentLevel().push_back(number);
}

void VandruAlphaBlendCache::SortPrimitives(Entry& entry) {
  const uint32_t primitive = entry.listPrimitive;
  const PrimitiveShape shape = ShapeOf(primitive);
  const uint32_t count = entry.primitives;
  GeometryChunk& chunk = *entry.chunk;
  const StridedArray<float> positions = chunk.GetVector3Array(GeometryChunk::kPosition);
  const uint16_t* indices = chunk.GetIndexArray();
  if (shape.vertices == 0 || count == 0 || !positions || indices == nullptr) return;
  const uint32_t used = (count - 1) * shape.step + shape.vertices;
  for (uint32_t i = 0; i < used; ++i) {
    if (indices[i] >= chunk.GetNumVertices()) return;
  }
  Matrix4 inverse;
  if (entry.transform != nullptr && !Invert(*entry.transform, &inverse)) return;
  const auto camera = TransformPoint(inverse, {0.0f, 0.0f, 0.0f});

  if (scratch_.size() < count) {
    scratch_.resize(count);
    radixBuffer_.resize(count);
  }
  const float share = 1.0f / static_cast<float>(shape.vertices);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t at[3];
    PrimitiveVertices(primitive, i, at);
    float centre[3] = {0, 0, 0};
    for (uint32_t v = 0; v < shape.vertices; ++v) {
      const float* p = positions[indices[at[v]]];
      for (int c = 0; c < 3; ++c) centre[c] += p[c];
    }
    float key = 0.0f;
    for (int c = 0; c < 3; ++c) {
      const float d = centre[c] * share - camera[c];
      key += d * d;
    }
    scratch_[i] = SortItem(key == key ? key : 0.0f, i);
  }
  SortFarthestFirst(count);

  const uint32_t indexCount = count * shape.vertices;
  if (sortedIndices_.size() - sortedUsed_ < indexCount)
    sortedIndices_.resize(std::max<size_t>(sortedIndices_.size() * 2, sortedUsed_ + indexCount));
  uint16_t* out = sortedIndices_.data() + sortedUsed_;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t at[3];
    PrimitiveVertices(primitive, static_cast<uint32_t>(scratch_[i]), at);
    for (uint32_t v = 0; v < shape.vertices; ++v) *out++ = indices[at[v]];
  }
  entry.sortedOffset = sortedUsed_;
  entry.sortedCount = indexCount;
  entry.listPrimitive = shape.listPrimitive;
  entry.key = 0.5f * (KeyOf(scratch_[0]) + KeyOf(scratch_[count - 1]));
  entry.sorted = true;
  sortedUsed_ += indexCount;
}

// A stable radix sort of the items' upper 32 bits, a byte per pass; the
// items start in primitive order, so equal keys keep it.
void VandruAlphaBlendCache::SortFarthestFirst(uint32_t count) {
  uint64_t* from = scratch_.data();
  uint64_t* to = radixBuffer_.data();
  for (int shift = 32; shift < 64; shift += 8) {
    uint32_t offsets[257] = {};
    for (uint32_t i = 0; i < count; ++i) ++offsets[((from[i] >> shift) & 0xFF) + 1];
    if (offsets[((from[0] >> shift) & 0xFF) + 1] == count) continue;  // One value: nothing moves.
    for (int b = 0; b < 256; ++b) offsets[b + 1] += offsets[b];
    for (uint32_t i = 0; i < count; ++i) to[offsets[(from[i] >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != scratch_.data()) std::copy(from, from + count, scratch_.data());
}

bool VandruAlphaBlendCache::IsEmpty() const {
  return CurrentLevel().empty();
}

void VandruAlphaBlendCache::Clear() {
  std::vector<uint32_t>& level = CurrentLevel();
  free_.insert(free_.end(), level.begin(), level.end());
  level.clear();
  sortedUsed_ = poolStarts_[firstBucket_ / kLevelBuckets];
}

void VandruAlphaBlendCache::BeginState(Display* display) const {
  display->SetAlphaTest(false);
  display->SetAlphaBlendMode(1);
  display->SetDepthWrite(false);
}

void VandruAlphaBlendCache::EndState(Display* display) const {
  display->SetAlphaBlendFunction(1, 0);
  display->SetAlphaBlendMode(0);
  display->SetAlphaTest(false);
  display->SetDepthWrite(true);
}

void VandruAlphaBlendCache::Draw(Display* display, ViewPort* viewport) {
  std::vector<uint32_t>& level = CurrentLevel();
  if (display != nullptr && !level.empty()) {
    std::sort(level.begin(), level.end(), [this](uint32_t a, uint32_t b) {
      const Entry& x = entries_[a];
      const Entry& y = entries_[b];
      if (x.bucket != y.bucket) return x.bucket > y.bucket;
      if (x.key != y.key) return x.key > y.key;
      return x.sequence < y.sequence;
    });
    BeginState(display);
    for (uint32_t number : level) {
      const Entry& entry = entries_[number];
      display->SetAlphaBlendFunction(4, 5);
      if (entry.sorted) {
        entry.material->RenderPrimitives(
            display, viewport, entry.chunk, entry.lights, entry.transform, 0,
            sortedIndices_.data() + entry.sortedOffset, entry.sortedCount, entry.listPrimitive, -1);
        continue;
      }
      entry.material->RenderChunk(display, viewport, entry.chunk, entry.lights, entry.transform,
                                  -1);
    }
    EndState(display);
  }
  Clear();
}

void VandruAlphaBlendCache::Enter(Display* /*display*/, ViewPort* /*viewport*/, bool nested) {
  if (!nested) return;
  const uint32_t start = sortedUsed_;
  firstBucket_ += kLevelBuckets;
  if (firstBucket_ >= bucketCount_) {
    bucketCount_ += kLevelBuckets;
    levels_.emplace_back();
    poolStarts_.push_back(0);
  }
  poolStarts_[firstBucket_ / kLevelBuckets] = start;
  Clear();
}

void VandruAlphaBlendCache::Leave(Display* display, ViewPort* viewport, bool nested) {
  if (!nested) return;
  Draw(display, viewport);
  if (firstBucket_ >= kLevelBuckets) firstBucket_ -= kLevelBuckets;
}

}  // namespace Kiv
