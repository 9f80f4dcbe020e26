#include "analysis/lattice.hpp"

#include <stdexcept>

namespace vorb {

void imerge(ModelState& s, int flag) { (void)s; (void)flag; throw std::logic_error("not built yet"); }
void calclash(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }

}  // namespace vorb
