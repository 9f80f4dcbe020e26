// Restraint run of modes "6" and "66": derive PRHB2.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// After the hydrogen-bond analysis run has found the bonds: reads seq.dat if present,
// assigns secondary structure from torsions and writes PRHB2 through restr_stru.
void restraint_run(ModelState& s);

}  // namespace vorb
