// The refinement score etot.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Refreshes the lattice, backbone hydrogen bonds (nhb, nhbmatch, resfix), C-alpha clashes,
// the deviation from the reference trace (itempl) and the restraint scores (irest), then sets
// etot from them. Lower is better.
void energy_cal(ModelState& s);

// The sum alone: etot (and erest when irest is set) from the terms as they stand.
void energy_sum(ModelState& s);

}  // namespace vorb
