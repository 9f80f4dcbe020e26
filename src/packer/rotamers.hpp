// Backbone-dependent rotamer library: side-chain torsion wells of each residue type with their
// probabilities per backbone phi/psi cell, read from a text file (data/rotamers, its format in
// data/README.md).
//
// Side-chain torsions (chi), degrees in (-180, 180], IUPAC sign:
//   chi1  N-CA-CB-XG, XG = CG, or OG (SER), OG1 (THR), SG (CYS), CG1 (VAL, ILE)
//   chi2  CA-CB-CG-XD: ILE CA-CB-CG1-CD1, LEU CD1, MET SD, LYS/ARG/GLU/GLN/PRO CD,
//         ASP OD1, ASN OD1, HIS ND1, PHE/TYR/TRP CD1
//   chi3  MET CB-CG-SD-CE, LYS CB-CG-CD-CE, ARG CB-CG-CD-NE, GLU CB-CG-CD-OE1,
//         GLN CB-CG-CD-OE1
//   chi4  LYS CG-CD-CE-NZ, ARG CG-CD-NE-CZ (the guanidinium group is planar, so its own
//         torsion CD-NE-CZ-NH1 is near 0 or 180 and needs no library entry)
// Symmetric terminal groups are folded into [-90, 90) (add or subtract 180), so either naming
// of the two equivalent atoms gives the same value: ASP chi2, GLU chi3, PHE chi2, TYR chi2.
// HIS, ASN and GLN are not folded: their flips are distinct rotamers. PRO has chi1 and chi2
// (the two ring puckers).
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorb::packer {

struct Rotamer {
  float prob = 0;                 // probability in its cell; a cell's rotamers sum to 1
  std::array<float, 4> chi{};     // centres, degrees in (-180, 180]; unused chis 0
  std::array<float, 4> sd{};      // spreads (standard deviations), degrees
};

// The four atom names (4-character PDB names, " N  ", " CA ", ...) of torsion chi k (1-based)
// of a residue type; empty names when the type has no such torsion.
std::array<std::string_view, 4> chi_atoms(std::string_view res3, int k);

// Whether chi k of the residue type is folded into [-90, 90) (a symmetric terminal group).
bool chi_folded(std::string_view res3, int k);

// A measured torsion value (degrees) brought into the library's convention: (-180, 180], or
// [-90, 90) when folded.
float chi_convention(float deg, bool folded);

class RotamerLibrary {
 public:
  // Throws InputError naming file and line on a malformed record or an incomplete library; a
  // missing file: InputError naming it.
  static RotamerLibrary read(const std::string& path);
  static RotamerLibrary read_stream(std::istream& in, const std::string& path);
  // Side-chain torsion count of a residue (three-letter name): SER 1, VAL 1, ..., ARG 4, LYS 4,
  // GLY/ALA 0, unknown -1.
  static int nchi(std::string_view res3);
  // Rotamers for a residue type at backbone phi/psi in degrees; NaN phi or psi (chain ends)
  // gives the backbone-independent distribution. Sorted by decreasing probability. Never empty
  // for a type with nchi > 0; empty for other types.
  std::span<const Rotamer> lookup(std::string_view res3, float phi, float psi) const;

  int cell_size() const { return cell_; }  // degrees; cells start at -180 in phi and psi

 private:
  // Per residue type (index of the type in the library's own order): entry 0 is the
  // backbone-independent distribution, entry 1 + iphi * n + ipsi a cell; entry e holds
  // rot[off[e]] .. rot[off[e] + count[e] - 1] (cells that answer with the independent
  // distribution share its rotamers).
  struct Table {
    std::vector<Rotamer> rot;
    std::vector<std::uint32_t> off, count;
  };
  int cell_ = 0;
  int ncell_ = 0;  // cells per axis
  std::array<Table, 18> tables_{};
};

}  // namespace vorb::packer
