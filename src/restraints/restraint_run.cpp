#include "restraints/restraint_run.hpp"

namespace vorb {

void restraint_run(ModelState& s) { (void)s; }

}  // namespace vorb
