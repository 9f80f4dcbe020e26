// Where the tools find their data without any environment variable: beside the
// running executable (an installed tree, wherever it was moved), in the source tree the tools
// were built from, or under the configured install prefix.
#pragma once

#include <string>

namespace vorb::tools {

// Directory of the running executable; empty when it cannot be told.
std::string self_dir();

// The data directory (holding BBdat and tables/): `given` when not empty (InputError when it
// holds neither), else the first of <self_dir>/../share/vorb, the source tree's data and the
// configured <prefix>/share/vorb that holds BBdat.
std::string find_data_dir(const std::string& given);

}  // namespace vorb::tools
