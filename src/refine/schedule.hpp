// Refinement schedule of modes "2", "3", "4", "31".
//
// Adds hydrogens, loads the predicted bonds, fixes the reference C-alpha trace (superposing the
// template when there is one), then alternates rounds of random backbone rebuilding with one
// Monte Carlo step per cycle for up to 180 cycles. Writes name.fix after the first cycle
// (name.h in mode "2", which ends there) and the best-scoring model as name.h at the end.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void refinement_schedule(ModelState& s);

// Rebuild rounds of cycle icycle: icycle / 10 held to 5..20; 180 in mode "2".
int nsub_for_cycle(int icycle, bool mode2);

// The rebuild rounds of one cycle: nsub random rebuilds of the backbone (bbadd(2)), each kept
// unless it loses backbone hydrogen bonds, with the best-scoring model saved to sxx and
// scorebest raised. With a predicted list the cycle first tries the plane rotation (after cycle
// 0), and outside mode "4" every rebuild re-marks the listed bonds in resfix (2 formed, 0 not).
void rebuild_rounds(ModelState& s, int nsub, float& scorebest);

// Superposes the template trace (bbkxx..) onto the model's C-alpha atoms and replaces it by the
// superposed points. Residues the template lacks carry no weight. Returns the RMSD bound
// 1.1 sqrt(residual / number of template residues).
float superpose_template(ModelState& s);

// Output of the first cycle: side chains rebuilt by sd_opt, the model written to name.fix
// (name.h in mode "2"), then the hydrogens that sd_opt removed put back with hadd, so that the
// Monte Carlo steps that follow score backbone hydrogen bonds of a complete model.
void first_cycle_output(ModelState& s, bool mode2);

}  // namespace vorb
