#include "io/aux_read.hpp"

#include <stdexcept>

namespace vorb {

int read_seq(ModelState& s, bool& opened) { (void)s; (void)opened; throw std::logic_error("not built yet"); }
std::string read_level() { throw std::logic_error("not built yet"); }
bool read_library(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }
void read_restraints(ModelState& s, float cutoff) { (void)s; (void)cutoff; throw std::logic_error("not built yet"); }

}  // namespace vorb
