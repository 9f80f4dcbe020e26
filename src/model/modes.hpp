// Mode tests shared by the readers and the branches.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Modes that complete a model from a C-alpha trace: "2", "23", "3", "4", "31". Their input keeps
// its residue numbers, which must be 1..nres in topology order.
inline bool is_building_mode(const ModelState& s) {
  return s.mode_is("2") || s.mode_is("23") || s.mode_is("3") || s.mode_is("4") ||
         s.mode_is("31");
}

// Modes that use a template and restraints: "3", "4", "31".
inline bool is_template_mode(const ModelState& s) {
  return s.mode_is("3") || s.mode_is("4") || s.mode_is("31");
}

}  // namespace vorb
