// Side-chain rebuild from the backbone and geometric regularisation.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Marks every atom other than N, CA, C and O missing (x = 999.0; y and z are left), rebuilds
// CB with cb_add and the other heavy atoms with heavy_add, then tidies them with sd_opt1.
// Hydrogens stay missing. assrd is not reset.
void sd_opt(ModelState& s);

// Moves side-chain atoms of every non-glycine residue by small translations, each carrying the
// rest of the side chain beyond the atom moved: clear of the residue's own backbone (2.4 A,
// 2.24 for proline; the proline CD is not pushed off the N it is bonded to), 1-3 opening of long chains, stretched bonds pulled back, the gamma atom
// into one of four distance classes from N and C, then bond lengths and angles toward their
// topology values. Corrections other than the last are capped at 0.5 A per step. Atoms that are
// missing are neither used nor moved. Needs the heavy-atom order N, CA, C, O, CB, gamma, ...
void sd_opt1(ModelState& s);

}  // namespace vorb
