#include "analysis/hbonds.hpp"

#include <stdexcept>

namespace vorb {

void hbonds(ModelState& s, int flag) { (void)s; (void)flag; throw std::logic_error("not built yet"); }

}  // namespace vorb
