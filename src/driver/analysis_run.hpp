// Analysis branches: torsion runs (modes "7", "8") and the hydrogen-bond analysis run.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Modes "7" and "8": torsions (and secondary structure) of the input atoms.
void torsion_run(ModelState& s);

// Modes "5", "6", "66" and any unrecognised mode text.
void hbond_analysis_run(ModelState& s);

}  // namespace vorb
