#include "refine/schedule.hpp"

namespace vorb {

void refinement_schedule(ModelState& s) { (void)s; }

}  // namespace vorb
