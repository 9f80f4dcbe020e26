// Construction of missing C-alpha atoms by constrained random walks.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Removes C-alpha atoms at chain breaks (neighbours more than 4.2 A apart), gathers the
// residues without a C-alpha into runs (runs one present residue apart become one), widens
// middle runs too short to span their flanking C-alpha atoms, and builds every run by a random
// walk of 3.8 A steps drawn from rand(s). Middle runs must arrive at the C-alpha after them and
// fall back to the straight line between their flanks; a run at a chain end that cannot be
// built stops the program. Only C-alpha coordinates are written. A model with no C-alpha to
// start from, or a run spanning the whole chain, is rejected with an InputError.
void ca_build(ModelState& s);

}  // namespace vorb
