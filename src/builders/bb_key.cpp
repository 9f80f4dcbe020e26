#include "builders/bb_key.hpp"

#include <algorithm>

namespace vorb {
namespace {

// max(0, trunc((v - origin) / width)), capped; computed in single precision.
int bin(float v, float origin, float width, int cap) {
  float q = (v - origin) / width;
  if (!(q > 0.0f)) return 0;  // negative, zero or NaN
  if (q >= float(cap)) return cap;
  return std::min(static_cast<int>(q), cap);
}

}  // namespace

BBKey bb_key(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3) {
  BBKey k;
  Vec3 g = p2 - p1;
  float lg = norm(g);
  Vec3 h = p3 - p0;
  float lh = norm(h);
  float d02 = norm(p2 - p0);
  float d13 = norm(p3 - p1);
  if (lg < 0.0001f || lh < 0.0001f) return k;
  Vec3 gu = g / lg, hu = h / lh;
  Vec3 a = gu + hu;
  Vec3 b = hu - gu;
  float la = norm(a), lb = norm(b);
  if (la < 0.0001f || lb < 0.0001f) return k;
  a = a / la;
  b = b / lb;
  k.ok = true;
  k.a = a;
  k.b = b;
  k.c = cross(a, b);
  float pa = dot(g, a), pb = dot(g, b);
  k.b1 = bin(lh, 4.45f, 0.25f, 25);
  k.b2 = bin(d02, 4.85f, 0.25f, 10);
  k.b3 = bin(d13, 4.85f, 0.25f, 10);
  k.b4 = bin(pa, 3.15f, 0.15f, 4);
  k.b5 = bin(pb, -2.1f, 0.2f, 10);
  return k;
}

}  // namespace vorb
