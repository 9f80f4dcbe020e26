// The one random stream: a combined multiplicative congruential generator with a shuffle
// table, reproduced bit for bit so that runs on the same inputs give the same models.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Uniform number in (0, 1), never above 0.99999988. A seed <= 0 reinitialises the generator
// from max(-seed, 1); seed and st are updated.
float rand(RandState& st, int& seed);

// The run's stream: the state's generator with its seed iseed.
inline float rand(ModelState& s) { return rand(s.rng, s.iseed); }

}  // namespace vorb
