#include "refine/montecarlo.hpp"

#include <stdexcept>

namespace vorb {

void hbrotate(ModelState& s, int flag) { (void)s; (void)flag; throw std::logic_error("not built yet"); }

}  // namespace vorb
