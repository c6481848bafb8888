#include "render/materials/BumpLighting.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace Kiv {

namespace {

Matrix4 InverseOrIdentity(const Matrix4& matrix) {
  Matrix4 inverse;
  if (!Invert(matrix, &inverse)) return Matrix4();
  return inverse;
}

// A world direction in object space, normalised (zero stays zero).
Vector4 DirectionInObject(const std::array<float, 3>& direction, const Matrix4& toObject) {
  const auto& m = toObject.m;
  float out[3];
  for (int c = 0; c < 3; ++c)
    out[c] = direction[0] * m[c] + direction[1] * m[4 + c] + direction[2] * m[8 + c];
  const float length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
  if (!(length > 0.0f)) return Vector4{};
  return Vector4{out[0] / length, out[1] / length, out[2] / length, 0.0f};
}

Vector4 PointInObject(const std::array<float, 3>& point, const Matrix4& toObject) {
  const auto p = TransformPoint(toObject, point);
  return Vector4{p[0], p[1], p[2], 0.0f};
}

// The camera's world position: the view transform's inverse applied to the
// origin.
std::array<float, 3> CameraPosition(const Matrix4& view) {
  return TransformPoint(InverseOrIdentity(view), {0.0f, 0.0f, 0.0f});
}

void SetLightColours(const DisplayLight& light, const DisplayMaterial& material,
                     BumpLightConstants& out) {
  out.lightDiff = {light.diffuse.r * material.diffuse.r, light.diffuse.g * material.diffuse.g,
                   light.diffuse.b * material.diffuse.b, material.diffuse.a};
  out.specular = {light.diffuse.r * material.specular.r, light.diffuse.g * material.specular.g,
                  light.diffuse.b * material.specular.b, 0.75f};
}

}  // namespace

const DisplayLight* FindBrightestLight(const DisplayLightList* lights, uint32_t type) {
  if (lights == nullptr) return nullptr;
  const DisplayLight* brightest = nullptr;
  float best = 0.0f;
  for (const DisplayLight* light : *lights) {
    if (light == nullptr || light->type != type) continue;
    const float sum = light->diffuse.r + light->diffuse.g + light->diffuse.b;
    if (brightest != nullptr && !(sum > best)) continue;
    brightest = light;
    best = sum;
  }
  return brightest;
}

BumpLightConstants ParallelLightConstants(const DisplayLightList* lights,
                                          const Color& globalAmbient,
                                          const DisplayMaterial& material, const Matrix4& object,
                                          const Matrix4& view) {
  BumpLightConstants out;
  Color ambient = globalAmbient;
  if (lights != nullptr) {
    for (const DisplayLight* light : *lights) {
      if (light == nullptr ||
          (light->type != DisplayLight::kAmbient && light->type != DisplayLight::kParallel))
        continue;
      ambient.r += light->ambient.r;
      ambient.g += light->ambient.g;
      ambient.b += light->ambient.b;
      ambient.a += light->ambient.a;
    }
  }
  auto clamp = [](float v) { return std::clamp(v, 0.0f, 1.0f); };
  out.lightAmb = {clamp(ambient.r), clamp(ambient.g), clamp(ambient.b), clamp(ambient.a)};
  out.light = FindBrightestLight(lights, DisplayLight::kParallel);
  if (out.light == nullptr) return out;
  const Matrix4 toObject = InverseOrIdentity(object);
  out.lightDir = DirectionInObject(out.light->direction, toObject);
  out.viewPos = PointInObject(CameraPosition(view), toObject);
  SetLightColours(*out.light, material, out);
  return out;
}

BumpLightConstants SpotLightConstants(const DisplayLight& light, const DisplayMaterial& material,
                                      const Matrix4& object, const Matrix4& view) {
  BumpLightConstants out;
  out.light = &light;
  const Matrix4 toObject = InverseOrIdentity(object);
  out.lightDir = DirectionInObject(light.direction, toObject);
  out.viewPos = PointInObject(CameraPosition(view), toObject);
  out.lightPos = PointInObject(light.position, toObject);
  out.invLightRadius = {std::cos(light.spotAngle),
                        light.radius > 0.0f ? 1.0f / light.radius : FLT_MAX, 0.0f, 0.0f};
  SetLightColours(light, material, out);
  return out;
}

}  // namespace Kiv
