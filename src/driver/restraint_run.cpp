#include "driver/restraint_run.hpp"

#include <stdexcept>

namespace vorb {

void restraint_run(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }

}  // namespace vorb
