// Subcommands of vorb-tools. Each takes the arguments after its name and returns the exit
// status (0 success, 2 bad input or usage).
#pragma once

#include <string>
#include <vector>

namespace vorb::tools {

using Args = std::vector<std::string>;

int cmd_bbdat(const Args& args);  // backbone fragment library (bbdat.hpp)

}  // namespace vorb::tools
