#include "analysis/lattice_shift.hpp"

#include <iostream>

#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "model/errors.hpp"

namespace vorb {

void lattice_frame_shift(ModelState& s) {
  float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  bool any = false;
  for (int i = 1; i <= s.natom; ++i) {
    if (s.xx(i) == kMissing) continue;
    float v[3] = {s.xx(i), s.yy(i), s.zz(i)};
    for (int a = 0; a < 3; ++a) {
      if (!any || v[a] < lo[a]) lo[a] = v[a];
      if (!any || v[a] > hi[a]) hi[a] = v[a];
    }
    any = true;
  }
  if (!any) return;

  // Spans in cells; a span too large for an int is too large for the lattice anyway.
  int span[3];
  bool too_large = false;
  for (int a = 0; a < 3; ++a) {
    float w = 0.5f * (hi[a] - lo[a]);
    if (!(w < float(s.nlat))) {
      too_large = true;
      span[a] = w < 2.0e9f ? static_cast<int>(w) : 2000000000;
    } else {
      span[a] = static_cast<int>(w);
    }
  }
  if (too_large) {
    ffmt::RecordWriter w;
    w.a("protein too large", 15);
    for (int a = 0; a < 3; ++a) w.i(span[a], 5);
    for (int a = 0; a < 3; ++a) w.f(hi[a], 8, 3).f(lo[a], 8, 3);
    message_stream() << w.str() << '\n';
    throw StopRun{"one of the protein length exceed simulation lattice"};
  }

  Coord* axis[3] = {&s.xx, &s.yy, &s.zz};
  const float low = 0.5f * float(s.margin);
  const float high = 0.5f * float(kLat - s.margin);
  for (int a = 0; a < 3; ++a) {
    if (lo[a] < low || high < float(span[a]) + lo[a] + 1.0f) {
      float d = low - lo[a];
      Coord& c = *axis[a];
      for (int i = 1; i <= s.natom; ++i)
        if (c(i) < kMissing) c(i) = c(i) + d;
    }
  }
}

}  // namespace vorb
