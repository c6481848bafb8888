#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "kiv/RenderKernel.h"
#include "kiv/basics/Matrix4.h"
#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/Material.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/AlphaBlendCacheUnsorted.h"
#include "render/materials/AlphaBlendCaches.h"
#include "render/materials/VandruAlphaBlendCache.h"

// Every allocation of this test program is counted, so that a frame can be
// shown to allocate nothing. new and delete are replaced as a pair over
// malloc() and free(); g++ sees the malloc() behind new and would take every
// delete in this file for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
std::atomic<long> gAllocations{0};
}  // namespace

void* operator new(size_t size, const std::nothrow_t&) noexcept {
  ++gAllocations;
  return std::malloc(size != 0 ? size : 1);
}
void* operator new(size_t size) {
  if (void* p = operator new(size, std::nothrow)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  return operator new(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return operator new(size, std::nothrow);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}

namespace {

// A material that notes what it is asked to draw into storage made in
// advance, so that drawing itself allocates nothing.
class NotingMaterial : public Kiv::Material {
 public:
  struct Draw {
    const Kiv::GeometryChunk* chunk = nullptr;
    bool sorted = false;
    uint32_t primitive = 0;
    std::vector<uint16_t> indices;
  };

  NotingMaterial() : Material(Kiv::PString("noting")) {
    draws.resize(16);
    for (Draw& draw : draws) draw.indices.reserve(64);
  }
  void RenderChunk(Kiv::Display*, Kiv::ViewPort*, Kiv::GeometryChunk* chunk,
                   const Kiv::DisplayLightList*, const Kiv::Matrix4*, int) override {
    Draw& draw = draws[used++];
    draw.chunk = chunk;
    draw.sorted = false;
    draw.indices.clear();
  }
  void RenderPrimitives(Kiv::Display*, Kiv::ViewPort*, Kiv::GeometryChunk* chunk,
                        const Kiv::DisplayLightList*, const Kiv::Matrix4*, uint32_t,
                        const uint16_t* indices, uint32_t count, uint32_t primitive, int) override {
    Draw& draw = draws[used++];
    draw.chunk = chunk;
    draw.sorted = true;
    draw.primitive = primitive;
    draw.indices.assign(indices, indices + count);
  }

  std::vector<Draw> draws;
  size_t used = 0;
};

// Kind 0 triangle list, 1 strip, 2 fan.
Kiv::Ref<Kiv::GeometryChunk> MakeChunk(uint32_t kind, const std::vector<float>& positions,
                                       const std::vector<uint16_t>& indices) {
  const uint32_t vertices = static_cast<uint32_t>(positions.size() / 3);
  Kiv::Ref<Kiv::GeometryChunk> chunk(Kiv::GeometryChunk::Create(
      vertices, 1, static_cast<uint32_t>(indices.size()), 0, kind, Kiv::StandardChunkHint(0, 0)));
  std::copy(positions.begin(), positions.end(), chunk->GetFloats(Kiv::GeometryChunk::kPosition));
  std::copy(indices.begin(), indices.end(), chunk->GetIndexArray());
  return chunk;
}

// A fan whose last triangle is farthest from a camera 10 units behind it.
const std::vector<float> kFan = {0, 0, 0, 0, 1, 0, 0, 1, -8, 0, 1, 5, 0, 1, 9};
// Two triangles side by side; the second is farther.
const std::vector<float> kQuad = {0, 0, 0, 1, 0, 0, 0, 0, 5, 1, 0, 5};

TEST(VandruAlphaBlendCache, DistanceChoosesTheBucketAndWhetherTrianglesAreSorted) {
  Kiv::VandruAlphaBlendCache cache;
  const struct {
    float distance;
    uint32_t bucket;
    bool sorted;
  } cases[] = {{0, 0, true},       {4.9f, 0, true},          {349, 69, true},
               {351, 70, false},   {999, 199, false},        {1000, 199, false},
               {5000, 199, false}, {std::nanf(""), 0, true}, {-3, 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.distance);
    EXPECT_EQ(cache.BucketOf(c.distance), c.bucket);
    EXPECT_EQ(cache.SortsBucket(cache.BucketOf(c.distance)), c.sorted);
  }
  EXPECT_NEAR(Kiv::VandruAlphaBlendCache::DistanceOf(Kiv::Matrix4::Translation(3, 4, 12)), 13.0f,
              13.0f * 0.002f)
      << "one Newton step of the fast reciprocal square root";
  EXPECT_EQ(Kiv::VandruAlphaBlendCache::DistanceOf(Kiv::Matrix4()), 0.0f);
  cache.SetNearDistance(100.0f);
  EXPECT_EQ(cache.GetNearBucket(), 20);
}

// Near primitives come out farthest first; strips keep their winding and
// fans their shared vertex; a chunk whose indices point past its vertices,
// or whose transform cannot be inverted, is drawn as it is.
TEST(VandruAlphaBlendCache, NearPrimitivesAreSortedFarToNear) {
  const Kiv::Matrix4 at10 = Kiv::Matrix4::Translation(0, 0, 10);
  Kiv::Matrix4 singular = at10;
  singular.m[0] = singular.m[5] = singular.m[10] = 0;
  const std::vector<uint16_t> fanSorted = {0, 3, 4, 0, 2, 3, 0, 1, 2},
                              quadSorted = {2, 1, 3, 0, 1, 2};
  const struct {
    const char* name;
    uint32_t kind;
    std::vector<float> positions;
    std::vector<uint16_t> indices;
    Kiv::Matrix4 transform;
    std::vector<uint16_t> sorted;  // empty: drawn as it is
  } cases[] = {
      {"fan", 2, kFan, {0, 1, 2, 3, 4}, at10, fanSorted},
      {"strip", 1, kQuad, {0, 1, 2, 3}, at10, quadSorted},
      {"list", 0, kQuad, {0, 1, 2, 2, 1, 3}, at10, quadSorted},
      {"bad index", 0, kQuad, {0, 1, 9}, at10, {}},
      {"singular", 0, kQuad, {0, 1, 2}, singular, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Kiv::VandruAlphaBlendCache cache;
    Kiv::Display display;
    Kiv::ViewPort viewport;
    NotingMaterial material;
    auto chunk = MakeChunk(c.kind, c.positions, c.indices);
    cache.Add(chunk.get(), &material, nullptr, &c.transform);
    cache.Draw(&display, &viewport);
    ASSERT_EQ(material.used, 1u);
    EXPECT_EQ(material.draws[0].sorted, !c.sorted.empty());
    EXPECT_EQ(material.draws[0].indices, c.sorted);
    EXPECT_TRUE(c.sorted.empty() || material.draws[0].primitive == 4u) << "a triangle list";
    EXPECT_TRUE(cache.IsEmpty());
  }
}

// Far chunks are drawn first, each with blend (4, 5) between the begin and
// end states; a second frame like the first allocates nothing.
TEST(VandruAlphaBlendCache, DrawsFarToNearAndASteadyFrameAllocatesNothing) {
  Kiv::VandruAlphaBlendCache cache;
  Kiv::Display display;
  Kiv::ViewPort viewport;
  NotingMaterial material;
  auto nearFan = MakeChunk(2, kFan, {0, 1, 2, 3, 4});
  auto middle = MakeChunk(0, kQuad, {0, 1, 2});
  auto far = MakeChunk(0, kQuad, {0, 1, 2});
  const Kiv::Matrix4 at10 = Kiv::Matrix4::Translation(0, 0, 10);
  const Kiv::Matrix4 at500 = Kiv::Matrix4::Translation(0, 300, 400);
  const Kiv::Matrix4 at2000 = Kiv::Matrix4::Translation(2000, 0, 0);
  auto frame = [&] {
    material.used = 0;
    cache.Add(nearFan.get(), &material, nullptr, &at10);
    cache.Add(far.get(), &material, nullptr, &at2000);
    cache.Add(middle.get(), &material, nullptr, &at500);
    cache.Draw(&display, &viewport);
  };
  frame();
  ASSERT_EQ(material.used, 3u);
  EXPECT_EQ(material.draws[0].chunk, far.get());
  EXPECT_EQ(material.draws[1].chunk, middle.get());
  EXPECT_EQ(material.draws[2].chunk, nearFan.get());
  EXPECT_EQ(material.draws[2].indices, (std::vector<uint16_t>{0, 3, 4, 0, 2, 3, 0, 1, 2}));
  EXPECT_EQ(display.GetRecord(),
            (std::vector<std::string>{"AlphaTest 0", "AlphaBlendMode 1", "DepthWrite 0",
                                      "AlphaBlendFunction 4 5", "AlphaBlendFunction 4 5",
                                      "AlphaBlendFunction 4 5", "AlphaBlendFunction 1 0",
                                      "AlphaBlendMode 0", "AlphaTest 0", "DepthWrite 1"}));

  display.SetRecording(false);
  const long before = gAllocations.load();
  frame();
  EXPECT_EQ(gAllocations.load() - before, 0);
  EXPECT_EQ(material.used, 3u);
}

// A nested level has buckets of its own: its Leave draws only what was added
// inside it, and the outer level is drawn afterwards.
TEST(VandruAlphaBlendCache, NestedLevelDrawsOnlyItsOwnChunks) {
  Kiv::VandruAlphaBlendCache cache;
  Kiv::Display display;
  Kiv::ViewPort viewport;
  NotingMaterial material;
  auto outer = MakeChunk(2, kFan, {0, 1, 2, 3, 4});
  auto inner = MakeChunk(0, kQuad, {0, 1, 2});
  const Kiv::Matrix4 at10 = Kiv::Matrix4::Translation(0, 0, 10);
  cache.Add(outer.get(), &material, nullptr, &at10);
  cache.Enter(&display, &viewport, true);
  EXPECT_EQ(cache.GetBucketCount(), 400u);
  EXPECT_EQ(cache.GetFirstBucket(), 200u);
  EXPECT_TRUE(cache.IsEmpty());
  cache.Add(inner.get(), &material, nullptr, &at10);
  cache.Leave(&display, &viewport, true);
  ASSERT_EQ(material.used, 1u);
  EXPECT_EQ(material.draws[0].chunk, inner.get());
  EXPECT_EQ(cache.GetFirstBucket(), 0u);
  cache.Leave(&display, &viewport, false);
  cache.Draw(&display, &viewport);
  ASSERT_EQ(material.used, 2u);
  EXPECT_EQ(material.draws[1].chunk, outer.get());
  EXPECT_EQ(material.draws[1].indices, (std::vector<uint16_t>{0, 3, 4, 0, 2, 3, 0, 1, 2}))
      << "the inner level does not overwrite the outer level's sorted indices";
}

TEST(AlphaBlendCacheUnsorted, DrawsInArrivalOrderAndRestoresTheBlendFunction) {
  Kiv::Display display;
  Kiv::ViewPort viewport;
  NotingMaterial material;
  auto first = MakeChunk(0, kQuad, {0, 1, 2});
  auto second = MakeChunk(0, kQuad, {0, 1, 2});
  const Kiv::Matrix4 near = Kiv::Matrix4::Translation(0, 0, 1);
  const Kiv::Matrix4 far = Kiv::Matrix4::Translation(0, 0, 900);
  Kiv::Ref<Kiv::AlphaBlendCacheUnsorted> cache(new Kiv::AlphaBlendCacheUnsorted);
  EXPECT_EQ(Kiv::AlphaBlendCacheUnsorted::Instance(), cache.get());
  EXPECT_EQ(cache->GetPriority(), 55.0f);
  cache->Add(first.get(), &material, nullptr, &near);
  cache->Add(second.get(), &material, nullptr, &far);
  display.SetAlphaBlendFunction(2, 3);
  display.ClearRecord();
  cache->Flush(&display, &viewport);
  ASSERT_EQ(material.used, 2u);
  EXPECT_EQ(material.draws[0].chunk, first.get());
  EXPECT_EQ(material.draws[1].chunk, second.get());
  EXPECT_EQ(display.GetRecord().front(), "AlphaBlendFunction 4 5");
  EXPECT_EQ(display.GetAlphaBlendSource(), 2u);
  EXPECT_EQ(display.GetAlphaBlendDestination(), 3u);
  EXPECT_TRUE(cache->IsEmpty());
  cache.reset();
  EXPECT_EQ(Kiv::AlphaBlendCacheUnsorted::Instance(), nullptr);
}

// Start-up's caches are found by the engine ids the plug-ins look for.
TEST(AlphaBlendCaches, StartUpRegistersBothOnce) {
  Kiv::RenderKernel kernel(nullptr, 8.0f);
  Kiv::VandruAlphaBlendCache* sorted = nullptr;
  Kiv::AlphaBlendCacheUnsorted* unsorted = nullptr;
  EXPECT_FALSE(Kiv::CreateAlphaBlendCaches(nullptr, &sorted, &unsorted));
  ASSERT_TRUE(Kiv::CreateAlphaBlendCaches(&kernel, &sorted, &unsorted));
  auto* manager = kernel.GetRenderingCacheManager();
  EXPECT_EQ(manager->FindCache(Kiv::PString(Kiv::AlphaBlendCache::AlphaBlendCacheID)), sorted);
  EXPECT_EQ(manager->FindCache(Kiv::PString(Kiv::AlphaBlendCacheUnsorted::kName)), unsorted);
  EXPECT_EQ(sorted->UseCount(), 2);
  Kiv::VandruAlphaBlendCache* again = nullptr;
  Kiv::AlphaBlendCacheUnsorted* againUnsorted = nullptr;
  EXPECT_FALSE(Kiv::CreateAlphaBlendCaches(&kernel, &again, &againUnsorted));
  EXPECT_EQ(again, nullptr);
  Kiv::ReleaseRef(sorted);
  Kiv::ReleaseRef(unsorted);
}

}  // namespace
