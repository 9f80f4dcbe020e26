// Hydrogen placement from the topology, and hydroxyl/thiol turning in mode 1.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void hadd(ModelState& s);
void ad_1h(ModelState& s);

}  // namespace vorb
