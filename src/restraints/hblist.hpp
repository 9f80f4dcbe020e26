// The predicted hydrogen-bond list (reshbn) from PRHB and the current model.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Rebuilds reshbn/npredhb from the file "PRHB" (one bond per line: number, label, donor
// residue, label, acceptor residue, anything else ignored) merged with the backbone N-H..O bonds
// of the current list (nhb, hbpair), without duplicate residue pairs, sorted by donor and typed
// 0 other, 1 helix or local, 2 antiparallel, 3 parallel strand pair. Sets hblok (PRHB gave at
// least two bonds); outside modes "6"/"66" stops there when it did not. Rewrites sscode with the
// consensus of sscode and seq2, copies the end codes of seq2 from their neighbours, and may zero
// the donor of a current bond that repeats a strand donor. In modes "6"/"66" writes "PRHB2".
void restr_stru(ModelState& s);

}  // namespace vorb
