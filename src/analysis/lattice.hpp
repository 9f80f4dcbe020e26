// Spatial lattice of 2 A cells and the C-alpha clash score.
#pragma once

#include <cmath>

#include "model/model_state.hpp"

namespace vorb {

// Lattice cell of coordinate v: v / 2 rounded to the nearest integer, halves away from zero,
// exactly as lroundf does. Computed inline because it runs three times for every atom of every
// energy evaluation; the library call is kept for NaN and values far outside any lattice.
inline int lattice_cell(float v) {
  const float h = 0.5f * v;
  if (!(std::fabs(h) < 1.0e9f)) return int(std::lroundf(h));
  const int t = int(h);         // toward zero
  const float f = h - float(t);  // exact: the fraction of h
  return f >= 0.5f ? t + 1 : f <= -0.5f ? t - 1 : t;
}

// flag 0: clear and shift into the lattice frame; 1: clear, shift, enter all atoms;
// 2: clear and enter all atoms without shifting.
void imerge(ModelState& s, int flag);

// C-alpha clashes and chain breaks over all residue pairs: nclash, nbreak, eclash.
void calclash(ModelState& s);

}  // namespace vorb
