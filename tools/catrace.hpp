// C-alpha traces of real chains, the input of the building modes.
#pragma once

#include <string>

#include "structure.hpp"

namespace vorb::tools {

// Writes the CA atom of every residue of c as an ATOM record, residue k of the chain (in file
// order, as the topology generator counts them) numbered k, then "TER" and "END". Returns the
// number of residues left out because they have no CA.
int write_ca_trace(const Chain& c, const std::string& path);

}  // namespace vorb::tools
