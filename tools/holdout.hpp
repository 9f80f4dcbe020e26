// The fixed split of the training structures: every tenth file by name is held out from
// everything derived (library, tables) and used only to measure accuracy.
#pragma once

#include <string>
#include <vector>

namespace vorb::tools {

struct Split {
  std::vector<std::string> train;    // paths of the files used for deriving data
  std::vector<std::string> heldout;  // paths of the held-out files
};

// Lists the *.pdb files of a directory sorted by name; the files at 0-based positions 9, 19,
// 29, ... are held out.
Split split_directory(const std::string& dir);

// Whether the file at 0-based position i of the sorted list is held out.
inline bool is_held_out(std::size_t i) { return i % 10 == 9; }

}  // namespace vorb::tools
