// Monte Carlo step (operation 1) and peptide-plane rotation (operation 2).
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void hbrotate(ModelState& s, int flag);

}  // namespace vorb
