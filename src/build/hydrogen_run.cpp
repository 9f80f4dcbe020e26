#include "build/hydrogen_run.hpp"

namespace vorb {

void hydrogen_only_run(ModelState& s) { (void)s; }

}  // namespace vorb
