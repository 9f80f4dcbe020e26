// The refinement score etot.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void energy_cal(ModelState& s);

}  // namespace vorb
