// Backbone completion from the fragment library: C, N, then O, OXT, H.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// mode 0: residues with an incomplete backbone; 1: every residue by lookup; 2: every residue
// with resfix below 2, a fragment other than ifrag by random choice; 3: nothing.
void bbadd(ModelState& s, int mode);

// O of every residue, OXT, amide H (not residue 1, not PRO) and N of residue 1.
void add_ho(ModelState& s);

}  // namespace vorb
