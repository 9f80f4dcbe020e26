#include "restraints/rest_energy.hpp"

#include <stdexcept>

namespace vorb {

void rest_zephal(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }

}  // namespace vorb
