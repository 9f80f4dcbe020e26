// Secondary structure of a C-alpha trace for seq.dat, when the backbone needed by the
// hydrogen-bond assignment is absent: helices and strands from C-alpha distances and
// pseudo-torsions alone.
#pragma once

#include <string>
#include <vector>

#include "prep.hpp"

namespace vorb::tools {

// Per residue of p: 2 helix, 4 strand, 1 other (also for residues without a C-alpha atom).
// Helix: four consecutive C-alpha atoms with the pseudo-torsion of a helix (20..90 degrees),
// i to i+3 at most 6.0 A and i to i+4 at most 7.2 A, two such windows in a row. Strand: an
// extended residue (i-1 to i+1 over 6.0 A, pseudo-torsions beyond +-150 degrees around it)
// with an extended partner three or more residues away within 5.5 A.
std::vector<int> trace_secondary(const Prepared& p);

// seq.dat lines "(I5,3x,A3,1x,I4,1x,I4)" with those codes.
std::vector<std::string> trace_seq_dat_lines(const Prepared& p);

}  // namespace vorb::tools
