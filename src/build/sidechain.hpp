// Side-chain heavy atoms: CB from the C-alpha trace, the rest by residue rules.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void cb_add(ModelState& s);
void heavy_add(ModelState& s);

}  // namespace vorb
