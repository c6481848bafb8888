#include "render/instances/IntersectRayTriangle.h"

#include <cmath>

namespace {

constexpr float kEpsilon = 1e-6f;

Vector3 Sub(const Vector3& a, const Vector3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

float Dot(const Vector3& a, const Vector3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Every comparison below accepts; a value that is not a number fails it.
bool Hit(float t, float* best) {
  if (std::isnan(t)) return false;
  if (*best > t) *best = t;
  return true;
}

}  // namespace

bool IntersectRayTriangle(const Vector3& corner0, const Vector3& corner1, const Vector3& corner2,
                          uint8_t twoSided, const Vector3& origin, const Vector3& direction,
                          float* best) {
  const Vector3 e1 = Sub(corner1, corner0);
  const Vector3 e2 = Sub(corner2, corner0);
  const Vector3 p = Cross(direction, e2);
  const float det = Dot(e1, p);
  const Vector3 s = Sub(origin, corner0);
  const Vector3 q = Cross(s, e1);
  if (twoSided == 0) {
    if (!(det >= kEpsilon)) return false;
    const float u = Dot(s, p);
    if (!(u >= 0.0f && u <= det)) return false;
    const float v = Dot(direction, q);
    if (!(v >= 0.0f && u + v <= det)) return false;
    return Hit(Dot(e2, q) / det, best);
  }
  if (!(std::fabs(det) >= kEpsilon)) return false;
  const float f = 1.0f / det;
  const float u = f * Dot(s, p);
  if (!(u >= 0.0f && u <= 1.0f)) return false;
  const float v = f * Dot(direction, q);
  if (!(v >= 0.0f && u + v <= 1.0f)) return false;
  return Hit(f * Dot(e2, q), best);
}
