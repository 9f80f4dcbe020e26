// Monte Carlo moves of the backbone.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

void relax_lmprot(ModelState& s);
void cacarot(ModelState& s);
void glo_move(ModelState& s, int flag);
void move_clash(ModelState& s, float& step, int& nviol);

}  // namespace vorb
