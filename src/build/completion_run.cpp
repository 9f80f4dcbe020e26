#include "build/completion_run.hpp"

namespace vorb {

void completion_run(ModelState& s) { (void)s; }

}  // namespace vorb
