// Hand-built model layouts for the analysis and hydrogen tests: residues, atoms with
// coordinates, covalent partners and bond angles, without a topology file.
#pragma once

#include <string>

#include "geometry/vec3.hpp"
#include "model/coords.hpp"
#include "model/model_state.hpp"
#include "model/residues.hpp"

namespace vorb::test {

inline const Vec3 kAbsent{kMissing, kMissing, kMissing};

class ModelBuilder {
 public:
  // On an empty state every coordinate slot starts missing; otherwise atoms are appended.
  explicit ModelBuilder(ModelState& s) : s_(s) {
    if (s_.natom == 0)
      for (int i = 0; i <= kMaxAtoms; ++i) set_missing(s_, i);
  }

  // Starts residue `name` (three letters); the following atoms belong to it.
  int residue(const std::string& name) {
    ++s_.nres;
    name_ = Name3::from(name);
    s_.ityp(s_.nres) = residue_type(name);
    return s_.nres;
  }

  // Adds an atom of the current residue. `name4` uses the PDB columns 13-16 layout (" CA ",
  // "1HB "); hb is the hydrogen-bond role (-1 donor hydrogen, 1 acceptor).
  int atom(const std::string& name4, Vec3 p, int hb = 0, float radius = 1.0f) {
    const int i = ++s_.natom;
    const Name4 n = Name4::from(name4);
    s_.atomty(i) = n;
    s_.atom(i, 1) = n;
    s_.atom(i, 2) = n;
    s_.resd(i) = name_;
    s_.resd2(i) = name_;
    s_.ress(i) = s_.nres;
    s_.ress2(i) = s_.nres;
    s_.aty(i) = n.at(1);
    s_.atmhb(i) = hb;
    s_.atmpar(i, 3) = radius;
    s_.bond(i, 1) = 1.0f;
    if (n == " CA ") s_.ica(s_.nres) = i;
    set_pos(s_, i, p);
    return i;
  }

  // Covalent partners: j is appended to i's list and i to j's, both with length len.
  void bond(int i, int j, float len) {
    add_partner(i, j, len);
    add_partner(j, i, len);
  }

  // Bond angle a-c-b in degrees, stored in the 45-record block of a's residue.
  void angle(int a, int c, int b, float deg) {
    const int r = s_.ress2(a);
    int m = (r - 1) * kAngPerRes + 1;
    while (s_.anga(m, 1) > 0) ++m;
    s_.anga(m, 1) = a;
    s_.anga(m, 2) = c;
    s_.anga(m, 3) = b;
    s_.ang(m, 2) = deg;
    if (m > s_.nang) s_.nang = m;
  }

  // Counts the non-hydrogen partners, as the atom-table set-up does.
  void finish() {
    for (int i = 1; i <= s_.natom; ++i) {
      int n = 0;
      for (int k = 1; k <= s_.bonda(i, 5); ++k)
        if (s_.aty(s_.bonda(i, k)) != 'H') ++n;
      s_.bonda(i, 6) = n;
    }
  }

 private:
  void add_partner(int i, int j, float len) {
    const int k = ++s_.bonda(i, 5);
    s_.bonda(i, k) = j;
    s_.bond(i, 2 * k - 1) = 1.0f;
    s_.bond(i, 2 * k) = len;
  }

  ModelState& s_;
  Name3 name_ = Name3::from("GLY");
};

}  // namespace vorb::test
