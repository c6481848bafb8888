// Kiv::VandruAlphaBlendCache: the depth-sorted cache of transparent chunks.
//
// A chunk added goes to a bucket by its distance from the camera (the
// length of the translation of its transform): bucket = trunc(distance x
// bucket count / maximum distance), clamped to the level's 200 buckets, so
// buckets are 5 units deep over 1000 units; a distance that is not a number
// goes to bucket 0. Chunks in buckets below the sort bucket (70, i.e.
// nearer than 350 units) also get their primitives sorted far to near into
// a list of indices (points, lines, line strips, triangle lists, strips and
// fans; strips keep their winding, fans their shared first vertex); a chunk
// whose transform cannot be inverted, whose indices point past its
// vertices or whose primitive kind is not sortable is drawn as it is.
//
// Drawing goes from the farthest bucket to the nearest, and within a bucket
// from the greatest depth key to the smallest (equal keys in the order they
// came); each chunk is drawn by its material with blend function (4, 5):
// RenderPrimitives over the sorted indices (a list of the chunk's primitive
// shape) when it was sorted, else RenderChunk; both with pass -1. Around
// the draw the display gets the begin state (alpha test off, blending on,
// depth writes off) and the end state (blend function (1, 0), blending
// off, alpha test off, depth writes on).
//
// Enter with nested true opens a new level of 200 buckets (drawn and
// closed by the matching Leave with nested true); nested false does
// nothing. A Leave without an open level draws the outer level and stays
// there.
//
// Memory: entries, per-level lists, sorted indices and the sort scratch are
// kept between frames and reused, so a frame no larger than an earlier one
// allocates nothing. The sorted-index pool holds 10000 indices at first and
// grows when a frame needs more. Entries keep the chunk, material, lights
// and transform pointers until the level is drawn or cleared; the caller
// keeps them alive until then. Rendering thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "kiv/display/RenderingCache.h"

namespace Kiv {

class VandruAlphaBlendCache : public AlphaBlendCache {
 public:
  static constexpr uint32_t kLevelBuckets = 200;

  VandruAlphaBlendCache();

  void Add(GeometryChunk* chunk, Material* material, const DisplayLightList* lights,
           const Matrix4* transform) override;
  // Returns the current level's entries to the free list.
  void Clear() override;
  // Draws the current level and empties it.
  void Draw(Display* display, ViewPort* viewport) override;
  bool IsEmpty() const override;
  void Enter(Display* display, ViewPort* viewport, bool nested) override;
  void Leave(Display* display, ViewPort* viewport, bool nested) override;

  void SetNearDistance(float distance);
  float GetNearDistance() const { return nearDistance_; }
  int32_t GetNearBucket() const { return nearBucket_; }

  // The bucket (within a level) of a distance, and the distance the cache
  // measures for a transform.
  uint32_t BucketOf(float distance) const;
  static float DistanceOf(const Matrix4& transform);
  bool SortsBucket(uint32_t bucket) const { return bucket < static_cast<uint32_t>(sortBucket_); }
  uint32_t GetBucketCount() const { return bucketCount_; }
  uint32_t GetFirstBucket() const { return firstBucket_; }

 private:
  struct Entry {
    GeometryChunk* chunk = nullptr;
    Material* material = nullptr;
    const DisplayLightList* lights = nullptr;
    const Matrix4* transform = nullptr;
    uint32_t sortedOffset = 0;  // into sortedIndices_
    uint32_t sortedCount = 0;
    uint32_t primitives = 0;
    uint32_t listPrimitive = 0;
    uint32_t bucket = 0;
    uint32_t sequence = 0;
    float key = 0.0f;
    bool sorted = false;
  };

  void SortPrimitives(Entry& entry);
  void SortFarthestFirst(uint32_t count);
  void BeginState(Display* display) const;
  void EndState(Display* display) const;
  std::vector<uint32_t>& CurrentLevel() { return levels_[firstBucket_ / kLevelBuckets]; }
  const std::vector<uint32_t>& CurrentLevel() const {
    return levels_[firstBucket_ / kLevelBuckets];
  }

  float maxDistance_ = 1000.0f;
  uint32_t bucketCount_ = kLevelBuckets;
  float bucketFactor_ = 0.2f;
  float nearDistance_ = 250.0f;
  int32_t nearBucket_ = 50;
  float sortDistance_ = 350.00003f;
  int32_t sortBucket_ = 70;
  uint32_t firstBucket_ = 0;
  uint32_t sequence_ = 0;

  std::vector<Entry> entries_;
  std::vector<uint32_t> free_;
  std::vector<std::vector<uint32_t>> levels_;  // entry numbers per level
  std::vector<uint32_t> poolStarts_;           // sorted-index cursor per level
  std::vector<uint16_t> sortedIndices_;
  uint32_t sortedUsed_ = 0;
  // Sort items (key and primitive, see SortPrimitives) and the radix
  // sort's second buffer.
  std::vector<uint64_t> scratch_;
  std::vector<uint64_t> radixBuffer_;
};

}  // namespace Kiv
