#include "geometry/gaussj.hpp"

#include <stdexcept>

namespace vorb {

void gaussj(float a[9], float b[3]) { (void)a; (void)b; throw std::logic_error("not built yet"); }

}  // namespace vorb
