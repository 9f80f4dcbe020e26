// Restraint run of modes "6" and "66": derive PRHB2.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void restraint_run(ModelState& s);

}  // namespace vorb
