// Side chains built from torsions: the atoms of each residue type as a chain of internal
// coordinates (bond, angle, torsion) on the ideal heavy-atom geometry measured on the training
// structures (data/tables/geometry.txt).
#pragma once

#include <array>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/vec3.hpp"

namespace vorb::packer {

// Atom k of a residue's list is placed from atoms a, b, c of the same list (0 N, 1 CA, 2 C,
// 3 CB, 4... the side chain in order): bond c-k, angle b-c-k, torsion a-b-c-k equal to
// chi[chi] + offset (chi < 0: offset alone).
struct ScAtom {
  std::string name;  // PDB name without blanks ("CD1")
  char element = 'C';
  int a = 0, b = 0, c = 0;
  int chi = -1;
  float offset = 0;  // degrees
  float bond = 0;    // A
  float angle = 0;   // degrees
};

struct ScTopology {
  std::string res3;
  int nchi = 0;
  float cb_bond = 1.53f, cb_angle_n = 110.5f, cb_angle_c = 110.1f;  // CA-CB, N-CA-CB, C-CA-CB
  std::vector<ScAtom> atoms;  // CG onward (CB is placed from the backbone)
};

class SideChainGeometry {
 public:
  // Reads geometry.txt (rows "RES A1 A2 A3 value sd n pooled"); InputError naming the file and
  // line on a malformed row, or the file when a value the builder needs is absent.
  // Bonds must lie in 0.5..3.0 A and angles in 60..180 degrees.
  static SideChainGeometry read(const std::string& path);
  // The same on an open stream; path labels messages.
  static SideChainGeometry read_stream(std::istream& in, const std::string& path);
  // Null for GLY and for names outside the twenty.
  const ScTopology* topology(std::string_view res3) const;

 private:
  std::vector<ScTopology> topo_;
};

// CB from N, CA, C with the ideal CA-CB bond and N-CA-CB, C-CA-CB angles (L chirality).
Vec3 place_cb(const ScTopology& t, Vec3 n, Vec3 ca, Vec3 c);

// Atom d at bond length `bond` from c, angle b-c-d and torsion a-b-c-d (degrees).
Vec3 place_atom(Vec3 a, Vec3 b, Vec3 c, float bond, float angle_deg, float torsion_deg);

// The side-chain atoms (CG onward, the order of t.atoms) for the torsions chi (degrees); the
// proline CD is placed on the closure of the ring with N (chi2 chosen near the given one so
// that CD-N is ideal). Returns the chi2 used for proline, chi[1] otherwise.
float build_side_chain(const ScTopology& t, Vec3 n, Vec3 ca, Vec3 c, Vec3 cb,
                       const std::array<float, 4>& chi, Vec3* out);

// Dihedral in degrees (-180, 180].
float dihedral_deg(Vec3 p1, Vec3 p2, Vec3 p3, Vec3 p4);

}  // namespace vorb::packer
