#include "build/backbone.hpp"

#include <stdexcept>

namespace vorb {

void bbadd(ModelState& s, int mode) { (void)s; (void)mode; throw std::logic_error("not built yet"); }
void add_ho(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }

}  // namespace vorb
