// Reader of the topology file Hdd.
//
// Layout: a free-form header (natom, nang, npot); natom atom records
// "(I4,1X,2(A4,1X),A3,2X,F6.3,1X,2(F7.4,1X),I4)"; unless the mode is "7", natom bond records
// "(I4,1X,4(I6,1X),4(F8.3,1X,F7.4,1X),I2)", nang angle records "(4(I5,1X),3(F7.3,1X),F7.3)" and
// npot free-form rows of seven reals (values 2, 4, 5, 7 kept as hbpot); unless the mode is "1"
// or "7", 1369 free-form rows of five reals (values 4 and 5 kept as ramah, ramae).
#pragma once

#include <istream>
#include <string>

#include "model/model_state.hpp"

namespace vorb {

// Fills natom, nang, npot, atom, resd2, ress2, atmpar, atmhb, aty, ica, ityp, nres, bonda
// (columns 1..5), bond, anga, ang, hbpot, ramah, ramae. A missing or short file, a field that
// is not a number, counts beyond the capacities, and partner or angle atom indices outside
// 0..natom are InputErrors naming the file and line. A topology without atoms is rejected.
void read_topology(ModelState& s, const std::string& path);
// The same on an open stream; name labels messages.
void read_topology_stream(ModelState& s, std::istream& in, const std::string& name);

}  // namespace vorb
