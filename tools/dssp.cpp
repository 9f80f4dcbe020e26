#include "dssp.hpp"

#include <stdexcept>

namespace vorb::tools {

Assignment assign_secondary(const Chain& c) {
  (void)c;
  throw std::logic_error("not built yet");
}

int three_state(char ss) { return ss == 'H' ? 2 : ss == 'E' ? 4 : 1; }

}  // namespace vorb::tools
