// Model completion run of the building modes "2", "23", "3", "4", "31".
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Completes the model once and prepares the refinement: missing C-alpha atoms (mode "31"),
// the secondary-structure class and whbm from seq.dat (modes "3", "4", "31"), the restraint
// level from init.dat, the backbone library, the template and the restraint tables with their
// weights (modes "3", "4", "31"), wclash = sqrt(1/nres), then bbadd(0) and sd_opt. Mode "23"
// writes the model to name.h with "TER" and returns; the driver then ends the run.
// A chain shorter than three residues or a residue of unknown type is an InputError, raised
// before anything is read or built. Without a usable library it prints "BBdat is not
// available, quit" and ends the run (EndRun).
void completion_run(ModelState& s);

}  // namespace vorb
