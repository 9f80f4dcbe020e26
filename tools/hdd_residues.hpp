// Covalent templates of the twenty residues: heavy-atom order, bond tree, bond orders and
// hydrogen names, shared by the topology generator and the geometry tables.
//
// Atoms are named by their short names ("CA", "OD1"); "-C" is the carbonyl C of the previous
// residue, "+N" the amide N of the next one, "OXT" the terminal oxygen of the last residue.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace vorb::tools {

struct TemplateBond {
  std::string a, b;    // a is the end toward the backbone
  float order = 1.0f;  // 1 single, 1.5 aromatic, 2 double
};

struct TemplateHydrogen {
  std::string name4;   // four-column name, e.g. "1HB ", " HA "
  std::string parent;  // short name of the heavy atom it is bonded to
};

struct ResidueTemplate {
  int type = 0;
  std::string name3;
  // Heavy atoms in topology order: N, CA, C, O, then the side chain (CB first, ring atoms
  // after CG), so that their number equals hra.
  std::vector<std::string> heavy;
  // Per heavy atom, the neighbour toward the backbone ("-C" for N, nothing beyond it).
  std::vector<std::string> parent;
  // Every heavy-atom bond the residue owns: its own bonds, "-C"-"N" and "C"-"OXT"; the bond
  // to "+N" belongs to the next residue.
  std::vector<TemplateBond> bonds;
  // Hydrogens other than the amide and amino-terminal ones, consecutive per parent, parents in
  // heavy-atom order.
  std::vector<TemplateHydrogen> hydrogens;

  int index(const std::string& short_name) const;  // position in heavy, -1 when absent
};

// Template of residue type 1..20 (order of afn).
const ResidueTemplate& residue_template(int type);

// Four-column name of a heavy atom: " CA ", " OXT".
std::string heavy_name4(const std::string& short_name);

// Heavy-atom angles centred on the residue's own atoms (outer, centre, outer), including those
// through "-C" (at N) and "+N" or "OXT" (at C); never "+N"-C-"OXT". The outer atoms are in the
// order in which the topology lists the centre's partners.
std::vector<std::array<std::string, 3>> heavy_angles(const ResidueTemplate& t);

// Heavy-atom neighbours of an atom of the template, including "-C", "+N" and "OXT" ends.
std::vector<std::string> heavy_neighbours(const ResidueTemplate& t, const std::string& atom);

}  // namespace vorb::tools
