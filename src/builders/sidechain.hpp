// Side-chain heavy atoms: CB from the C-alpha trace, the rest by residue rules.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Places the missing CB (atom ica + 3) of every non-glycine residue 2..nres-1 from the C-alpha
// atoms of the residue and its two neighbours, with per-type offsets for compact (virtual
// C-alpha angle below 105 degrees) and extended geometry. Residues whose three C-alpha atoms
// are not all placed, or whose trace is degenerate, keep their CB missing. assrd is not changed.
void cb_add(ModelState& s);

// Places every missing (x >= 990) non-hydrogen atom in topology order from atoms already placed
// (x <= 990): all-trans chain extension, the trigonal rule for the second oxygen or nitrogen of
// carboxyl, amide and guanidinium groups and OXT, the branch rotation of VAL/ILE/THR CG2 and
// LEU CD2, and fixed templates for the PRO, PHE, TYR, TRP and HIS rings. Sets assrd to 1 for a
// rule, 2 for a fallback. An atom whose rule lacks a placed reference atom is left missing,
// except that a chain atom whose second reference is missing (the CB of the first residue)
// points away from the other heavy partners of its parent, as a fallback.
// Relies on N, CA, C, O, CB first in each residue and side chains stored from the root outward.
void heavy_add(ModelState& s);

}  // namespace vorb
