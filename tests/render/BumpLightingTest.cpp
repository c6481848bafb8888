#include "render/materials/BumpLighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

Kiv::DisplayLight Light(uint32_t type, float r, float g, float b) {
  Kiv::DisplayLight light;
  light.type = type;
  light.diffuse = {r, g, b, 1};
  return light;
}

void ExpectNear(const Kiv::Vector4& actual, const Kiv::Vector4& expected) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-5f) << "component " << i;
}

// Zero, one and several lights of each kind; the first of equals wins.
TEST(BumpLighting, BrightestLightOfAType) {
  const auto ambient = Light(0, 9, 9, 9);
  const auto dimParallel = Light(3, 0.1f, 0.1f, 0.1f);
  const auto brightParallel = Light(3, 1, 0, 0.5f);
  const auto spotA = Light(2, 0.5f, 0.5f, 0);
  const auto spotB = Light(2, 0, 0.5f, 0.5f);
  const struct {
    const char* name;
    std::vector<const Kiv::DisplayLight*> lights;
    const Kiv::DisplayLight* parallel;
    const Kiv::DisplayLight* spot;
  } cases[] = {
      {"none", {}, nullptr, nullptr},
      {"ambient only", {&ambient}, nullptr, nullptr},
      {"one parallel", {&dimParallel}, &dimParallel, nullptr},
      {"brighter parallel later",
       {&dimParallel, nullptr, &brightParallel},
       &brightParallel,
       nullptr},
      {"one spot", {&ambient, &spotB}, nullptr, &spotB},
      {"equal spots", {&spotA, &spotB, &dimParallel}, &dimParallel, &spotA},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Kiv::FindBrightestLight(&c.lights, 3), c.parallel);
    EXPECT_EQ(Kiv::FindBrightestLight(&c.lights, 2), c.spot);
  }
  EXPECT_EQ(Kiv::FindBrightestLight(nullptr, 2), nullptr);
}

// A chunk turned a quarter about z and moved 10 along x; the camera 5 behind
// the chunk's origin.
struct Scene {
  Kiv::Matrix4 object;
  Kiv::Matrix4 view = Kiv::Matrix4::Translation(-10, 0, 5);
  Kiv::DisplayMaterial material;
  Scene() {
    object.m = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
    material.diffuse = {1, 0.5f, 1, 0.6f};
    material.specular = {0.2f, 0.4f, 1, 1};
  }
};

TEST(BumpLighting, ParallelPassConstantsInObjectSpace) {
  const Scene scene;
  auto parallel = Light(3, 0.5f, 1, 0.25f);
  parallel.direction = {2, 0, 0};
  parallel.ambient = {0.2f, 0.2f, 0.2f, 0.5f};
  auto ambient = Light(0, 0, 0, 0);
  ambient.ambient = {0.8f, 0.1f, 0, 0};
  auto spot = Light(2, 5, 5, 5);
  spot.ambient = {1, 1, 1, 1};
  const std::vector<const Kiv::DisplayLight*> lights = {&spot, &parallel, &ambient};
  const auto constants = Kiv::ParallelLightConstants(&lights, {0.1f, 0.1f, 0.1f, 1}, scene.material,
                                                     scene.object, scene.view);
  // Direction, view point and colours: the bump golden files.
  EXPECT_EQ(constants.light, &parallel);
  // The spot light's ambient is not added; the sum is clamped.
  ExpectNear(constants.lightAmb, {1, 0.4f, 0.3f, 1});

  const std::vector<const Kiv::DisplayLight*> none = {&ambient};
  const auto unlit = Kiv::ParallelLightConstants(&none, {0.1f, 0.1f, 0.1f, 1}, scene.material,
                                                 scene.object, scene.view);
  EXPECT_EQ(unlit.light, nullptr);
  ExpectNear(unlit.lightDir, {0, 0, 0, 0});
  ExpectNear(unlit.lightDiff, {0, 0, 0, 1});
  ExpectNear(unlit.specular, {0, 0, 0, 1});
  ExpectNear(unlit.lightAmb, {0.9f, 0.2f, 0.1f, 1});
}

TEST(BumpLighting, SpotPassConstantsInObjectSpace) {
  const Scene scene;
  auto spot = Light(2, 0.5f, 1, 0.25f);
  spot.direction = {0, 0, 3};
  spot.position = {10, 3, 0};
  spot.spotAngle = static_cast<float>(M_PI / 3);
  spot.radius = 0;  // radius 4 and the other constants: the bump golden files
  const auto constants = Kiv::SpotLightConstants(spot, scene.material, scene.object, scene.view);
  ExpectNear(constants.lightDir, {0, 0, 1, 0});
  EXPECT_GT(constants.invLightRadius[1], 1e30f) << "a light of no radius reaches nothing";
}

}  // namespace
