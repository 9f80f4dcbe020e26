// The lattice frame shift: moves the model so that it lies well inside the 360-cell lattice.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Per axis, over the atoms 1..natom whose x is not exactly 999.0: span = trunc(0.5 (max - min))
// cells. A span of nlat or more prints the "protein too large" record and stops the run with
// "one of the protein length exceed simulation lattice". Otherwise, when min < 0.5 margin or
// 0.5 (360 - margin) < span + min + 1, the axis is translated so that its lowest atom lies at
// 0.5 margin (15 A). Nothing is shifted when no atom is placed.
void lattice_frame_shift(ModelState& s);

}  // namespace vorb
