#include "restraints/hblist.hpp"

#include <stdexcept>

namespace vorb {

void restr_stru(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }

}  // namespace vorb
