// Secondary structure and backbone hydrogen bonds of a real chain by the electrostatic
// hydrogen-bond criterion (E < -0.5 kcal/mol), in the manner of the standard assignment.
//
// The amide H of residue i is put 1.0 A from N on the outward bisector of C(i-1)-N-CA (none for
// proline, for the first residue and after a chain break). The energy of an N-H(i)..O=C(j) pair
// is E = 0.084 * 332 * (1/rON + 1/rCH - 1/rOH - 1/rCN) kcal/mol, floored at -9.9; pairs are
// considered for |i - j| >= 2 only. Residues i and i+1 are linked when both have N, CA, C, O
// and C(i)-N(i+1) is at most 2.0 A; turns, helices, bridges and bends never span a missing link.
#pragma once

#include <vector>

#include "structure.hpp"

namespace vorb::tools {

struct BackboneHBond {
  int donor = 0;     // 0-based residue index of the N-H
  int acceptor = 0;  // 0-based residue index of the C=O
  float energy = 0;  // kcal/mol
};

struct Assignment {
  // Per residue: 'H' alpha helix, 'G' 3-10 helix, 'I' pi helix, 'E' strand, 'B' bridge,
  // 'T' turn, 'S' bend, ' ' none. Residues without a complete backbone get ' '.
  std::vector<char> ss;
  std::vector<BackboneHBond> hbonds;  // every N-H..O=C pair with E < -0.5, by donor, acceptor
};

// The assignment follows the usual priorities H > E, B > G > I > T > S. Hydrogen-bond patterns
// (turns, bridges) use each donor's two lowest-energy acceptors.
Assignment assign_secondary(const Chain& c);

// Three-state code used by the program: 2 helix (H), 4 strand (E), 1 anything else.
int three_state(char ss);

// Amide H of residue i (0-based) by the bisector construction; false when it has none (first
// residue, proline, incomplete backbone of i or i-1, or C(i-1)-N(i) not bonded).
bool amide_h(const Chain& c, std::size_t i, Vec3& h);

// Electrostatic energy (kcal/mol) of the N-H of one residue with the C=O of another.
float hbond_energy(Vec3 n, Vec3 h, Vec3 c, Vec3 o);

}  // namespace vorb::tools
