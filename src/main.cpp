// VORB: protein model completion, hydrogen placement, refinement and analysis.
#include <string>
#include <vector>

#include "driver/run.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vorb::run_main(args);
}
