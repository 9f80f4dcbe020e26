#include "geometry/rotate.hpp"

#include <cmath>

namespace vorb {

void rotate_matrix2(float& x, float& y, float& z, float a, float b, float c, float& u, float& v,
                    float& w, float theta) {
  const float len = std::sqrt(u * u + v * v + w * w);
  if (len < 0.1f) return;
  u = u / len;
  v = v / len;
  w = w / len;

  const float s = u * x + v * y + w * z;
  const float cs = std::cos(theta);
  const float sn = std::sin(theta);
  const float uu = u * u, vv = v * v, ww = w * w;
  // The three new coordinates are all computed from the old point.
  const float nx = a * (vv + ww) + u * (s - b * v - c * w) +
                   cs * ((x - a) * (vv + ww) + u * (b * v + c * w - v * y - w * z)) +
                   sn * (b * w - c * v + v * z - w * y);
  const float ny = b * (uu + ww) + v * (s - a * u - c * w) +
                   cs * ((y - b) * (uu + ww) + v * (a * u + c * w - u * x - w * z)) +
                   sn * (c * u - a * w + w * x - u * z);
  const float nz = c * (uu + vv) + w * (s - a * u - b * v) +
                   cs * ((z - c) * (uu + vv) + w * (a * u + b * v - u * x - v * y)) +
                   sn * (a * v - b * u + u * y - v * x);
  x = nx;
  y = ny;
  z = nz;
}

}  // namespace vorb
