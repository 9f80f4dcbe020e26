// Secondary structure and backbone hydrogen bonds of a real chain by the electrostatic
// hydrogen-bond criterion (E < -0.5 kcal/mol), in the manner of the standard assignment.
#pragma once

#include <vector>

#include "structure.hpp"

namespace vorb::tools {

struct BackboneHBond {
  int donor = 0;      // 0-based residue index of the N-H
  int acceptor = 0;   // 0-based residue index of the C=O
  float energy = 0;   // kcal/mol
};

struct Assignment {
  // Per residue: 'H' alpha helix, 'G' 3-10 helix, 'I' pi helix, 'E' strand, 'B' bridge,
  // 'T' turn, 'S' bend, ' ' none. Residues without a complete backbone get ' '.
  std::vector<char> ss;
  std::vector<BackboneHBond> hbonds;  // every N-H..O=C pair with E < -0.5
};

Assignment assign_secondary(const Chain& c);

// Three-state code used by the program: 2 helix (H), 4 strand (E), 1 anything else.
int three_state(char ss);

}  // namespace vorb::tools
