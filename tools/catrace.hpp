// C-alpha traces of real chains, the input of the building modes.
#pragma once

#include <string>
#include <vector>

#include "structure.hpp"

namespace vorb::tools {

// Writes the CA atom of every residue of each chain as an ATOM record with the chain's ID
// (blank when it is not one character), residue k of a chain (in file order, as the topology
// generator counts them) numbered k, each chain closed by "TER", then "END". Returns the
// number of residues left out because they have no CA.
int write_ca_trace(const std::vector<Chain>& chains, const std::string& path);

}  // namespace vorb::tools
