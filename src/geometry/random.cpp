#include "geometry/random.hpp"

#include <stdexcept>

namespace vorb {

float rand(RandState& st, int& seed) { (void)st; (void)seed; throw std::logic_error("not built yet"); }

}  // namespace vorb
