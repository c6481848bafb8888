// Oriented boxes hold every point they are fitted to, and rotation matrices
// pass through quaternions unchanged.
#include "kiv/scene/OrientedBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "kiv/basics/ProcessorFeatures.h"
#include "kiv/basics/Quaternion.h"
#include "kiv/scene/PointSums.h"

namespace {

TEST(OrientedBox, HoldsEveryPointOfARotatedCloud) {
  Kiv::Quaternion q{0.2f, 0.4f, 0.1f, 0.89f};
  q.Set(q.ToMatrix());  // normalised
  const Kiv::Matrix3 m = q.ToMatrix();
  std::vector<float> points;
  for (int i = 0; i < 200; ++i) {
    const float p[3] = {float(i % 7) * 3.0f, float(i % 5) * 0.5f, float(i % 3) * 0.1f};
    for (int c = 0; c < 3; ++c)
      points.push_back(p[0] * m[c] + p[1] * m[3 + c] + p[2] * m[6 + c] + 10.0f);
  }
  Kiv::OrientedBox box;
  box.Fit(points.data(), points.size() / 3);
  for (size_t i = 0; i < points.size(); i += 3)
    EXPECT_TRUE(box.Contains({points[i], points[i + 1], points[i + 2]})) << i / 3;
  EXPECT_NEAR(box.extents[0] * box.extents[1] * box.extents[2], 9.0f * 1.0f * 0.1f, 0.05f)
      << "fits the cloud, not its axis-aligned box";
  Kiv::OrientedBox none;
  none.Fit(nullptr, 0);
  EXPECT_EQ(none.extents, (Kiv::OrientedBox::Vector{0, 0, 0}));
}

std::vector<uint32_t> Bits(const std::vector<float>& values) {
  std::vector<uint32_t> bits(values.size());
  std::memcpy(bits.data(), values.data(), 4 * values.size());
  return bits;
}

// The bounds a fit widens are those of std::max and std::min taken one
// point after another (a NaN passes, the first of two equal zeros stays),
// from the bounds given, and the box is the box of a fit without bounds.
TEST(OrientedBox, FitWidensBoundsAsPointByPointMaxAndMinWould) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    const char* what;
    std::vector<float> points;
    size_t stride;
    float start;  // the bounds given: [start, start] on every axis
  } cases[] = {
      {"one point", {1.0f, -2.0f, 3.0f}, 3, 0.5f},
      {"zeros of both signs", {0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, 0.0f, -0.0f}, 3, 0.0f},
      {"negative zero first", {-0.0f, -0.0f, -0.0f, 0.0f, 0.0f, 0.0f}, 3, 1.0f},
      {"NaN coordinates", {nan, 1.0f, 2.0f, 3.0f, nan, -4.0f, -5.0f, 6.0f, nan}, 3, 0.0f},
      {"wider records", {1, 2, 3, 99, -1, 5, -7, 99, 4, -6, 0.5f, 99}, 4, 0.0f},
      {"a cloud", {}, 3, std::numeric_limits<float>::max()},
  };
  for (const auto& c : cases) {
    std::vector<float> points = c.points;
    for (int i = 0; points.empty() && i < 300; ++i)
      points.insert(points.end(), {float(i % 13) - 6.0f, float(i * i % 17) * 0.25f, -float(i % 5)});
    const size_t count = points.size() / c.stride;
    std::vector<float> expectedLow(3, c.start), expectedHigh(3, -c.start);
    for (size_t i = 0; i < count; ++i) {
      for (int a = 0; a < 3; ++a) {
        expectedLow[a] = std::min(expectedLow[a], points[i * c.stride + a]);
        expectedHigh[a] = std::max(expectedHigh[a], points[i * c.stride + a]);
      }
    }
    Kiv::OrientedBox::Vector low{c.start, c.start, c.start}, high{-c.start, -c.start, -c.start};
    Kiv::OrientedBox box, plain;
    box.Fit(points.data(), count, c.stride, &low, &high);
    plain.Fit(points.data(), count, c.stride);
    EXPECT_EQ(Bits({low.begin(), low.end()}), Bits(expectedLow)) << c.what;
    EXPECT_EQ(Bits({high.begin(), high.end()}), Bits(expectedHigh)) << c.what;
    EXPECT_EQ(std::memcmp(&box, &plain, sizeof(box)), 0) << c.what;
  }
}

// Points three floats apart are projected four at a time; the box must be
// the one that the same points in wider records (taken one by one) give,
// to the bit, also when a side of the box lies at zero (where the first of
// two zeros decides) and with points that are not numbers.
TEST(OrientedBox, TightPointsFitAsWiderRecordsDo) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<std::vector<float>> clouds;
  std::vector<float> cloud;
  for (int i = 0; i < 103; ++i)
    cloud.insert(cloud.end(),
                 {float(i % 11) * 0.7f - 3.0f, float(i * 7 % 13), float(i % 4) - 1.5f});
  clouds.push_back(cloud);
  cloud.clear();
  for (int i = 0; i < 41; ++i)  // flat through the origin, zeros of both signs
    cloud.insert(cloud.end(),
                 {float(i % 6) - 2.0f, i % 3 == 0 ? -0.0f : 0.0f, float(i % 5) - 2.0f});
  clouds.push_back(cloud);
  cloud.clear();
  for (int i = 0; i < 4; ++i) cloud.insert(cloud.end(), {i == 0 ? -0.0f : 0.0f, 0.0f, float(i)});
  clouds.push_back(cloud);
  cloud = clouds[0];
  cloud[5 * 3 + 1] = nan;
  clouds.push_back(cloud);
  for (const std::vector<float>& points : clouds) {
    for (size_t count = 4; count <= points.size() / 3; count += count < 12 ? 1 : 37) {
      std::vector<float> wide;
      for (size_t i = 0; i < count; ++i)
        wide.insert(wide.end(), {points[3 * i], points[3 * i + 1], points[3 * i + 2], 5.0f});
      Kiv::OrientedBox tight, spread;
      tight.Fit(points.data(), count);
      spread.Fit(wide.data(), count, 4);
      EXPECT_EQ(std::memcmp(&tight, &spread, sizeof(tight)), 0)
          << count << " points of a cloud of " << points.size() / 3;
    }
  }
}

#if defined(KIV_POINT_SUMS_AVX2)
// Sums taken by a caller in pieces (the point of the fourth float is
// dropped), from bounds it gives, fit the box and widen the bounds as one
// Fit over the same points does, to the bit.
__attribute__((target("avx2"))) Kiv::PointSums SumInPieces(const std::vector<float>& points,
                                                           size_t piece, float start) {
  Kiv::PointSums sums;
  for (int a = 0; a < 3; ++a) sums.low[a] = start, sums.high[a] = -start;
  const size_t count = points.size() / 3;
  for (size_t first = 0; first < count; first += piece) {
    Kiv::PointSumsLanes lanes = Kiv::LoadPointSums(sums);
    const size_t end = std::min(count, first + piece);
    for (size_t i = first; i < end; ++i) {
      if (i + 1 < count)
        Kiv::AddPoint(lanes, _mm_loadu_ps(points.data() + 3 * i));
      else
        Kiv::AddPoint(lanes, points.data() + 3 * i);
    }
    Kiv::StorePointSums(lanes, end - first, &sums);
  }
  return sums;
}

TEST(OrientedBox, SumsTakenInPiecesFitAsFitDoes) {
  if (!Kiv::ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2";
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> cloud;
  for (int i = 0; i < 211; ++i)
    cloud.insert(cloud.end(), {float(i % 17) * 1.3f - 9.0f, i % 9 == 4 ? -0.0f : -float(i % 7),
                               float(i * i % 23) * 0.01f});
  std::vector<float> withNan = cloud;
  withNan[40 * 3 + 2] = nan;
  for (const std::vector<float>* points : {&cloud, &withNan}) {
    for (size_t piece : {size_t(1), size_t(4), size_t(50), size_t(1000)}) {
      for (float start : {0.0f, 2.5f}) {
        const size_t count = points->size() / 3;
        Kiv::OrientedBox::Vector low{start, start, start}, high{-start, -start, -start};
        Kiv::OrientedBox fitted, summed;
        fitted.Fit(points->data(), count, 3, &low, &high);
        const Kiv::PointSums sums = SumInPieces(*points, piece, start);
        summed.FitSummed(points->data(), count, 3, sums);
        EXPECT_EQ(sums.count, count);
        EXPECT_EQ(Bits({sums.low, sums.low + 3}), Bits({low.begin(), low.end()})) << piece;
        EXPECT_EQ(Bits({sums.high, sums.high + 3}), Bits({high.begin(), high.end()})) << piece;
        EXPECT_EQ(std::memcmp(&fitted, &summed, sizeof(fitted)), 0) << piece << " " << start;
      }
    }
  }
}
#endif

TEST(Quaternion, MatrixRoundTripKeepsTheRotation) {
  const Kiv::Quaternion rotations[] = {{0, 0, 0, 1},
                                       {1, 0, 0, 0},
                                       {0, 0.7071068f, 0, 0.7071068f},
                                       {0.5f, -0.5f, 0.5f, 0.5f},
                                       {0.1f, 0.2f, -0.97f, 0.1f}};
  for (Kiv::Quaternion q : rotations) {
    q.Set(q.ToMatrix());
    Kiv::Quaternion back;
    back.Set(q.ToMatrix());
    const float sign = back.w * q.w + back.x * q.x + back.y * q.y + back.z * q.z < 0 ? -1.0f : 1.0f;
    EXPECT_NEAR(back.x * sign, q.x, 1e-5f);
    EXPECT_NEAR(back.y * sign, q.y, 1e-5f);
    EXPECT_NEAR(back.z * sign, q.z, 1e-5f);
    EXPECT_NEAR(back.w * sign, q.w, 1e-5f);
  }
  // A row vector turned by a quarter turn about z: x goes to y.
  const Kiv::Matrix3 m = Kiv::Quaternion{0, 0, 0.7071068f, 0.7071068f}.ToMatrix();
  EXPECT_NEAR(m[0], 0.0f, 1e-6f);
  EXPECT_NEAR(m[1], 1.0f, 1e-6f);
}

}  // namespace
