// Hydrogen bonds of the current model through the lattice.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// flag 1: every donor hydrogen and acceptor; flag 2: backbone N-H..O only, then the check of
// the listed bonds (nhbmatch, resfix). Fills nhb, hbpair, htbon, ehb. The lattice must hold
// the current coordinates (imerge just before): the search visits only the cells in which an
// acceptor close enough to a hydrogen can lie.
void hbonds(ModelState& s, int flag);

}  // namespace vorb
