// Building the model's atom table from the topology and the input atoms.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Sets every coordinate slot to 999.0, copies each topology atom's coordinates from the first
// input atom with the same name, residue name and residue number (tkfp records which), counts
// each atom's non-hydrogen partners into bonda(i,6), copies names and residue numbers into
// atomty, resd, ress, and sets assrd = 0, nocc = 0 and iseed = natom.
void build_atom_table(ModelState& s);

}  // namespace vorb
