// Mode "1": add hydrogens to the input model and write name.h.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void hydrogen_only_run(ModelState& s);

}  // namespace vorb
