#include "analysis/torsions.hpp"

#include <stdexcept>

namespace vorb {

void angle(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }
void ass2nd(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }

}  // namespace vorb
