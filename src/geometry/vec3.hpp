// Small single-precision 3-vector. Every operation rounds to float, in the order written.
#pragma once

#include <cfloat>
#include <cmath>

static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must round to single precision");

namespace vorb {

struct Vec3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(float s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
inline Vec3 operator/(Vec3 a, float s) { return {a.x / s, a.y / s, a.z / s}; }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float norm2(Vec3 a) { return a.x * a.x + a.y * a.y + a.z * a.z; }
inline float norm(Vec3 a) { return std::sqrt(norm2(a)); }
inline float dist(Vec3 a, Vec3 b) { return norm(a - b); }

}  // namespace vorb
