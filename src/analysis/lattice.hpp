// Spatial lattice of 2 A cells and the C-alpha clash score.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// flag 0: clear and shift into the lattice frame; 1: clear, shift, enter all atoms;
// 2: clear and enter all atoms without shifting.
void imerge(ModelState& s, int flag);

// C-alpha clashes and chain breaks over all residue pairs: nclash, nbreak, eclash.
void calclash(ModelState& s);

}  // namespace vorb
