// Refinement schedule of modes "2", "3", "4", "31".
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void refinement_schedule(ModelState& s);

}  // namespace vorb
