// Backbone and side-chain torsions, and secondary structure from phi/psi.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// phi, psi, chi1, chi2 of every residue into phipsichi; file "chi1" in modes 5, 7, 8.
void angle(ModelState& s);

// Three-state assignment from phi/psi into seq2; file "seq0.dat" in mode 8.
void ass2nd(ModelState& s);

// 1-based phi/psi cell (37 x 37 cells of 10 degrees, phi-major) of angles in degrees; the
// +180 edge falls in the last cell. Shared with the table builder.
int rama_cell(float phi_deg, float psi_deg);

}  // namespace vorb
