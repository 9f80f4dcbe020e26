// Model completion run of the building modes "2", "23", "3", "4", "31".
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void completion_run(ModelState& s);

}  // namespace vorb
