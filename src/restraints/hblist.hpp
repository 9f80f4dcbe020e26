// The predicted hydrogen-bond list (reshbn) from PRHB and the current model.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void restr_stru(ModelState& s);

}  // namespace vorb
