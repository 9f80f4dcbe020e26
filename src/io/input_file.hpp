// Opening input files: a file that does not exist is distinguished from one that exists but
// cannot be read (a directory, no permission), which is always a read error.
#pragma once

#include <fstream>
#include <string>

namespace vorb {

// Opens path for reading in binary mode. Returns false when it does not exist; throws
// InputError naming the file when it exists but cannot be opened or is a directory.
bool open_input(std::ifstream& in, const std::string& path);

}  // namespace vorb
