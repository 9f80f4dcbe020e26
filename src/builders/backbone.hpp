// Backbone completion from the fragment library: C, N, then O, OXT, H.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// mode 0: residues with an incomplete backbone; 1: every residue by lookup; 2: every residue
// with resfix below 2, a fragment other than ifrag by random choice; 3: nothing.
// Modes 0..2 first check the chain with check_chain_length and check_residue_types.
void bbadd(ModelState& s, int mode);

// O of every residue, OXT, amide H (not residue 1, not PRO) and N of residue 1.
void add_ho(ModelState& s);

// Backbone completion needs three residues (the chain-end virtual atoms use CA(nres-2)) and
// a known type (1..20) for every residue; both throw InputError otherwise.
void check_chain_length(const ModelState& s);
void check_residue_types(const ModelState& s);

}  // namespace vorb
