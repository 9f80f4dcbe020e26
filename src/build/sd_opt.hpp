// Side-chain rebuild from the backbone and geometric regularisation.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Erases every atom but N, CA, C, O, rebuilds with cb_add and heavy_add, then sd_opt1.
void sd_opt(ModelState& s);
void sd_opt1(ModelState& s);

}  // namespace vorb
