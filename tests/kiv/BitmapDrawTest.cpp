// The drawing primitives of Kiv::Bitmap: each shape covers the pixels its
// rule says, clipped to the bitmap however far outside its coordinates lie,
// and blends its colour over what is there.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "kiv/basics/Bitmap.h"

namespace {

constexpr uint32_t kInk = 0xFF112233;
constexpr int32_t kFar = 2000000000;

uint32_t CountInk(const Kiv::Bitmap& bitmap) {
  uint32_t count = 0;
  for (uint32_t y = 0; y < bitmap.Height(); ++y)
    for (uint32_t x = 0; x < bitmap.Width(); ++x) count += bitmap.Row(y)[x] == kInk;
  return count;
}

struct ShapeCase {
  const char* name;
  std::function<void(Kiv::Bitmap&)> draw;
  uint32_t pixels;  // inked pixels of a 16 x 16 bitmap
};

std::function<void(Kiv::Bitmap&)> Triangle(std::array<int32_t, 6> p, int mode) {
  return [=](Kiv::Bitmap& b) { b.Triangle({p[0], p[1], p[2], p[3], p[4], p[5]}, kInk, mode); };
}

TEST(BitmapDrawTest, ShapesCoverTheirPixelsClippedToTheBitmap) {
  const ShapeCase cases[] = {
      {"filled box", [](Kiv::Bitmap& b) { b.Box(2, 2, 4, 3, kInk, 1); }, 12},
      {"box border", [](Kiv::Bitmap& b) { b.Box(2, 2, 4, 3, kInk, 0); }, 10},
      {"box over the corner", [](Kiv::Bitmap& b) { b.Box(-5, -5, 8, 8, kInk, 1); }, 9},
      {"box of no width", [](Kiv::Bitmap& b) { b.Box(2, 2, 0, 3, kInk, 1); }, 0},
      {"box around everything",
       [](Kiv::Bitmap& b) { b.Box(-kFar, -kFar, 2LL * kFar, 2LL * kFar, kInk, 0); }, 0},
      {"diagonal", [](Kiv::Bitmap& b) { b.Line(0, 0, 15, 15, kInk); }, 16},
      {"row from far away", [](Kiv::Bitmap& b) { b.Line(-kFar, 3, kFar, 3, kInk); }, 16},
      {"diagonal from far away", [](Kiv::Bitmap& b) { b.Line(-kFar, -kFar, kFar, kFar, kInk); },
       16},
      {"line outside", [](Kiv::Bitmap& b) { b.Line(-kFar, -5, kFar, -kFar, kInk); }, 0},
      {"circle of radius 0", [](Kiv::Bitmap& b) { b.Circle(5, 5, 0, kInk, 2); }, 1},
      {"disc of radius 2", [](Kiv::Bitmap& b) { b.Circle(5, 5, 2, kInk, 1); }, 13},
      {"ring of radius 2", [](Kiv::Bitmap& b) { b.Circle(5, 5, 2, kInk, 2); }, 8},
      {"negative radius", [](Kiv::Bitmap& b) { b.Circle(5, 5, -1, kInk, 1); }, 0},
      {"huge disc", [](Kiv::Bitmap& b) { b.Circle(0, 0, kFar, kInk, 1); }, 256},
      {"huge ring", [](Kiv::Bitmap& b) { b.Circle(0, 0, kFar, kInk, 2); }, 0},
      {"filled triangle", Triangle({0, 0, 4, 0, 0, 4}, 1), 10},
      {"huge triangle", Triangle({-kFar, -kFar, kFar, -kFar, 0, kFar}, 1), 256},
      {"triangle edges", Triangle({0, 0, 4, 0, 0, 4}, 2), 12},
      {"triangle of one point", Triangle({3, 3, 3, 3, 3, 3}, 2), 1},
      {"point outside", [](Kiv::Bitmap& b) { b.BlendPixel(16, 0, kInk); }, 0},
  };
  for (const ShapeCase& c : cases) {
    Kiv::Bitmap bitmap(16, 16, Kiv::Bitmap::kARGB);
    c.draw(bitmap);
    EXPECT_EQ(CountInk(bitmap), c.pixels) << c.name;
  }
}

TEST(BitmapDrawTest, ShapesBlendOverWhatIsThere) {
  struct Case {
    uint32_t old, colour, expected;
  } const cases[] = {
      {0xFF0000FF, 0xFFFF0000, 0xFFFF0000},  // opaque replaces
      {0xFF0000FF, 0x00FF0000, 0xFF0000FF},  // transparent leaves
      {0xFF0000FF, 0x80FFFFFF, 0xFF8080FF},  // half white over blue
      {0x00000000, 0x80FF0000, 0x80800000},  // over nothing
  };
  for (const Case& c : cases) {
    Kiv::Bitmap bitmap(1, 1, Kiv::Bitmap::kARGB);
    bitmap.Fill(c.old);
    bitmap.BlendPixel(0, 0, c.colour);
    EXPECT_EQ(bitmap.Row(0)[0], c.expected) << std::hex << c.colour << " over " << c.old;
  }
  // Corners shared by two edges of a triangle are blended once.
  Kiv::Bitmap bitmap(8, 8, Kiv::Bitmap::kARGB);
  bitmap.Triangle({0, 0, 6, 0, 0, 6}, 0x80FFFFFF, 2);
  EXPECT_EQ(bitmap.Row(0)[0], 0x80808080u);
  EXPECT_EQ(bitmap.Row(0)[6], 0x80808080u);
}

TEST(BitmapDrawTest, CopyIsClippedOnBothSidesAndReadsItselfBeforeWriting) {
  Kiv::Bitmap source(4, 4, Kiv::Bitmap::kARGB);
  source.Fill(kInk);
  struct Case {
    int64_t x, y, sx, sy, width, height;
    uint32_t pixels;
  } const cases[] = {
      {2, 2, 0, 0, 4, 4, 16},    {-2, -2, 0, 0, 4, 4, 4},
      {14, 14, 0, 0, 4, 4, 4},   {0, 0, -2, -2, 4, 4, 4},
      {0, 0, 1, 1, 9, 9, 9},     {0, 0, 0, 0, -3, 4, 0},
      {-kFar, 0, 0, 0, 4, 4, 0}, {0, 0, 0, 0, 2LL * kFar, 2LL * kFar, 16},
  };
  for (const Case& c : cases) {
    Kiv::Bitmap target(16, 16, Kiv::Bitmap::kARGB);
    EXPECT_TRUE(target.Image(source, c.x, c.y, c.sx, c.sy, c.width, c.height, 4));
    EXPECT_EQ(CountInk(target), c.pixels) << c.x << "," << c.y << " " << c.sx << "," << c.sy;
  }
  Kiv::Bitmap row(4, 1, Kiv::Bitmap::kARGB);
  for (uint32_t x = 0; x < 4; ++x) row.Row(0)[x] = 0xFF000000 | x;
  ASSERT_TRUE(row.Image(row, 1, 0, 0, 0, 3, 1, 4));
  EXPECT_EQ(std::vector<uint32_t>(row.Row(0), row.Row(0) + 4),
            (std::vector<uint32_t>{0xFF000000, 0xFF000000, 0xFF000001, 0xFF000002}));
  EXPECT_FALSE(row.Image(source, 0, 0, 0, 0, 1, 1, 0)) << "only the blended copy";
}

}  // namespace
