// The topology generator: the Hdd file of a chain of standard residues.
//
// Per residue the atoms are N, CA, C, O, the side-chain heavy atoms (residue_template order),
// OXT after the heavy atoms of the last residue, then the amide " H  " (none for proline and the
// first residue, whose N carries "1H  ", "2H  ", "3H  " instead, or "1H  ", "2H  " for a
// proline), then the other hydrogens, consecutive per parent. Every atom lists its partner
// toward the backbone first, then its other heavy partners and its hydrogens in atom order.
// Each residue has a block of 45 angle records: first every angle the builders look up
// (K-P-H for each hydrogen H on P and each heavy partner K of P, grandparent-parent-J for each
// side-chain heavy atom J), then the other heavy-atom angles centred in the residue, then empty
// records.
#pragma once

#include <string>
#include <vector>

#include "tables.hpp"

namespace vorb::tools {

struct HddAtom {
  std::string name;           // four columns
  int res = 0;                // residue 1..n
  int type = 0;               // residue type
  std::vector<int> partners;  // 1-based atom indices
  std::vector<float> order;   // bond order per partner
  std::vector<float> length;  // ideal length per partner, A
  float charge = 0.0f;
  float radius = 0.0f;
  int hb = 0;  // -1 polar hydrogen, 1 acceptor, 0 neither
  bool hydrogen() const { return name[1] == 'H'; }
  char element() const { return name[1]; }
};

struct HddAngle {
  int a = 0, centre = 0, b = 0;  // 1-based atom indices; 0 for an empty record
  float value = 0.0f;            // degrees
};

struct Topology {
  std::vector<int> types;        // residue types 1..20
  std::vector<HddAtom> atoms;    // atom i at index i-1
  std::vector<HddAngle> angles;  // 45 per residue
};

// Builds the topology of a chain of residue types (each 1..20). CapacityError when the chain
// needs more atoms or angle records than the program holds.
Topology build_topology(const std::vector<int>& types, const Tables& t);

// The lines of the Hdd file.
std::vector<std::string> hdd_lines(const Topology& top, const Tables& t);

// Writes the Hdd file (complete or not at all).
void write_hdd(const Topology& top, const Tables& t, const std::string& path);

}  // namespace vorb::tools
