// Readers of seq.dat, init.dat, the backbone library and the restraint files.
#pragma once

#include <string>

#include "model/model_state.hpp"

namespace vorb {

// seq.dat into sscode (records 1..nres, stopping at one that is not numbers). Returns the first
// integer of the last record read, 0 when none; opened reports whether the file exists.
int read_seq(ModelState& s, bool& opened);

// init.dat: the 4-character level ("easy" when missing or unreadable).
std::string read_level();

// The library named by s.libfile: false when it cannot be opened.
bool read_library(ModelState& s);

// dist.dat, distL.dat and combCA.dat (pairs with probability above cutoff).
void read_restraints(ModelState& s, float cutoff);

}  // namespace vorb
