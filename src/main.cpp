// VORB: protein model completion, hydrogen placement, refinement and analysis.
#include <string>
#include <vector>

#include "driver/run.hpp"

// The build's version, kept in the binary (the command line itself is fixed and has no option
// to print it; `vorb-tools --version` prints the same version).
extern const char vorb_version[];
const char vorb_version[] = "VORB version " VORB_VERSION;

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vorb::run_main(args);
}
