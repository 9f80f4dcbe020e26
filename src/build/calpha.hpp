// Construction of missing C-alpha atoms by constrained random walks.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void ca_build(ModelState& s);

}  // namespace vorb
