#include "build/calpha.hpp"

#include <stdexcept>

namespace vorb {

void ca_build(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }

}  // namespace vorb
