// Monte Carlo step (operation 1) and peptide-plane rotation (operation 2).
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// flag 1: one Metropolis step of up to 500 proposals, returning at the first acceptance (the
// accepted model is in xx and bkxx; otherwise xx is the model of the start of the call).
// flag 2: turns the peptide planes at both ends of every listed bond toward the partner residue;
// C-alpha atoms stay, and the caller refreshes the lattice and the bonds afterwards.
void hbrotate(ModelState& s, int flag);

// The Monte Carlo step of flag 1 with the energy supplied (hbrotate passes energy_cal).
void monte_carlo_step(ModelState& s, void (*energy)(ModelState&));

// Move kind of proposal n in cycle icycle: 1 local relaxation, 2 crankshaft, 3 global.
int move_kind(int icycle, int n);

// Metropolis test at unit temperature: dE <= 0 passes, dE >= 10 fails, and in between a draw
// from the stream decides (exp(-dE) > u). Draws only in the undecided band.
bool metropolis_accept(ModelState& s, float dE);

// Atom index of the amide H of residue r (after the terminal oxygen on the last residue).
int amide_h(const ModelState& s, int r);

}  // namespace vorb
