// Restraint scores of the C-alpha trace: ecomb, edist, edistl.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void rest_zephal(ModelState& s);

}  // namespace vorb
