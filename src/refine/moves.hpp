// Monte Carlo moves of the backbone.
//
// Each move changes xx, yy, zz in place and draws from the run's random stream in a fixed order;
// none of them scores the result. Undoing a rejected move is the caller's task.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Local relaxation: re-places N, CA and C of a window of 1..6 residues by small random offsets
// from the last accepted model, held to ideal distances from their neighbours. Sets lmfail
// (1 when the window could not be completed in three attempts; O and H are then rebuilt).
void relax_lmprot(ModelState& s);

// Crankshaft: turns the backbone between two C-alpha atoms about the axis through them, then
// rebuilds backbone O and H.
void cacarot(ModelState& s);

// Global move: displaces the C-alpha atoms of a random stretch along the field bvv (rebuilt
// first when flag < 1), repairs C-alpha clashes and rebuilds the whole backbone.
void glo_move(ModelState& s, int flag);

// Pushes C-alpha atoms apart that are closer than cacut (2.8 for adjacent prolines) and draws
// adjacent ones together that are further than cabond, scaled by step. nviol: violating pairs.
void move_clash(ModelState& s, float& step, int& nviol);

// Random integer trunc(u * k) mod m of a draw u, as every move forms it.
int draw_int(ModelState& s, int k, int m);

}  // namespace vorb
