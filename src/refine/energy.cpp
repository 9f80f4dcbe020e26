#include "refine/energy.hpp"

#include <stdexcept>

namespace vorb {

void energy_cal(ModelState& s) {
  (void)s;
  throw std::logic_error("not built yet");
}

}  // namespace vorb
