#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "geometry/rotate.hpp"
#include "score.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

// The first twelve residues of ubiquitin: a beta hairpin with complete residues.
Chain native() { return read_chain(test::data_path("sidechains/ubq12.pdb")); }

Chain shifted(Chain c, Vec3 t) {
  for (Residue& r : c.res)
    for (auto& a : r.atoms) a.second = a.second + t;
  return c;
}

Vec3* atom(Chain& c, int num, const std::string& name) {
  for (auto& a : c.res[std::size_t(num - 1)].atoms)
    if (a.first == name) return &a.second;
  return nullptr;
}

TEST(Score, ATranslatedCopyOfTheNativeScoresPerfectly) {
  const Chain n = native();
  const Score s = score(n, shifted(n, {10.0f, -5.0f, 3.0f}));
  EXPECT_EQ(s.residues, 12);
  EXPECT_EQ(s.mismatched, 0);
  EXPECT_NEAR(s.translation.x, 10.0f, 1e-3f);
  EXPECT_NEAR(s.translation.y, -5.0f, 1e-3f);
  EXPECT_LT(s.ca_deviation, 1e-3f);
  EXPECT_LT(s.rmsd_backbone, 1e-3f);
  EXPECT_LT(s.rmsd_sidechain, 1e-3f);
  EXPECT_EQ(s.n_backbone, 36);
  EXPECT_GT(s.chi1_residues, 5);
  EXPECT_EQ(s.chi1_within, s.chi1_residues);
  EXPECT_EQ(s.heavy_missing, 0);
  EXPECT_EQ(s.ca_clashes, s.native_ca_clashes);
  EXPECT_EQ(s.ca_breaks, 0);
  EXPECT_EQ(s.heavy_clashes, s.native_heavy_clashes);
  EXPECT_GT(s.native_hbonds, 2);  // the hairpin
  EXPECT_EQ(s.hbonds_recovered, s.native_hbonds);
}

TEST(Score, SideChainErrorsShowInRmsdAndChi1Only) {
  const Chain n = native();
  Chain m = n;
  // Turn the side chain of LYS 6 by 90 degrees about CA -> CB.
  const Vec3 ca = *atom(m, 6, " CA "), cb = *atom(m, 6, " CB ");
  int moved = 0;
  for (auto& [name, p] : m.res[5].atoms) {
    if (name == " N  " || name == " CA " || name == " C  " || name == " O  " || name == " CB ")
      continue;
    Vec3 axis = cb - ca;
    rotate_matrix2(p.x, p.y, p.z, cb.x, cb.y, cb.z, axis.x, axis.y, axis.z, 1.5707964f);
    ++moved;
  }
  const Score s = score(n, m);
  EXPECT_LT(s.rmsd_backbone, 1e-6f);
  EXPECT_GT(s.rmsd_sidechain, 0.3f);
  EXPECT_EQ(s.chi1_within, s.chi1_residues - 1);
  EXPECT_EQ(moved, 4);
}

// Exchanges the names of two atoms of a residue.
void swap_names(Residue& r, const std::string& a, const std::string& b) {
  for (auto& atom : r.atoms) {
    if (atom.first == a) atom.first = b;
    else if (atom.first == b) atom.first = a;
  }
}

TEST(Score, SymmetricAtomsNamedTheOtherWayRoundCostNothing) {
  const Chain n = read_chain(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb");
  const Score ref = score(n, n);
  Chain m = n;
  int symmetric = 0;
  for (Residue& r : m.res) {
    if (r.name == "ASP") swap_names(r, " OD1", " OD2");
    else if (r.name == "GLU") swap_names(r, " OE1", " OE2");
    else if (r.name == "ARG") swap_names(r, " NH1", " NH2");
    else if (r.name == "PHE" || r.name == "TYR") {
      swap_names(r, " CD1", " CD2");
      swap_names(r, " CE1", " CE2");
    } else {
      continue;
    }
    ++symmetric;
  }
  ASSERT_GT(symmetric, 10);  // ubiquitin has every kind
  Score s = score(n, m);
  EXPECT_LT(s.rmsd_sidechain, 1e-3f);
  EXPECT_EQ(s.n_sidechain, ref.n_sidechain);
  EXPECT_EQ(s.n_swapped, symmetric);
  EXPECT_EQ(ref.n_swapped, 0);

  // A ring named half one way, half the other, fits neither naming; the methyls of LEU are
  // not interchangeable.
  auto residue = [&](Chain& c, const std::string& name) -> Residue& {
    for (Residue& r : c.res)
      if (r.name == name) return r;
    throw std::runtime_error("no " + name);
  };
  m = n;
  swap_names(residue(m, "TYR"), " CD1", " CD2");
  s = score(n, m);
  EXPECT_GT(s.rmsd_sidechain, 0.1f);
  EXPECT_EQ(s.n_swapped, 0);
  m = n;
  swap_names(residue(m, "LEU"), " CD1", " CD2");
  EXPECT_GT(score(n, m).rmsd_sidechain, 0.1f);
}

TEST(Score, ARingTurnedHalfARoundMatchesUnderTheOtherNaming) {
  const Chain n = read_chain(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb");
  for (const char* type : {"PHE", "TYR"}) {
    Chain m = n;
    Residue* r = nullptr;
    for (Residue& x : m.res)
      if (x.name == type) r = &x;
    ASSERT_NE(r, nullptr);
    const Vec3 cb = r->at(" CB "), cg = r->at(" CG ");
    for (auto& [name, p] : r->atoms) {
      if (name == " CD1" || name == " CD2" || name == " CE1" || name == " CE2") {
        Vec3 axis = cg - cb;
        rotate_matrix2(p.x, p.y, p.z, cg.x, cg.y, cg.z, axis.x, axis.y, axis.z, 3.1415927f);
      }
    }
    const Score s = score(n, m);
    EXPECT_EQ(s.n_swapped, 1) << type;
    // The real ring is nearly symmetric about CB-CG: each of the four turned atoms lands
    // within 0.1 A of its partner, so the whole chain's squared deviation stays below 4 x 0.01.
    const float total = s.rmsd_sidechain * s.rmsd_sidechain * float(s.n_sidechain);
    EXPECT_LT(total, 0.04f) << type;
  }
}

TEST(Score, MissingAndRenamedResiduesAreCounted) {
  const Chain n = native();
  Chain m = n;
  auto& atoms = m.res[2].atoms;  // ILE 3 loses CD1
  atoms.erase(std::remove_if(atoms.begin(), atoms.end(), [](auto& a) { return a.first == " CD1"; }),
              atoms.end());
  m.res[4].name = "ALA";  // VAL 5 under another name matches nothing
  m.res.pop_back();       // THR 12 absent
  const Score s = score(n, m);
  EXPECT_EQ(s.residues, 10);
  EXPECT_EQ(s.mismatched, 1);
  EXPECT_EQ(s.heavy_missing, 1 + 7 + 7);
}

TEST(Score, ClashesAndBreaksOfTheTrace) {
  const Chain n = native();
  Chain m = n;
  // NZ of LYS 6 on top of the far end of the hairpin; CA of GLY 10 pulled away from 9 and 11.
  *atom(m, 6, " NZ ") = *atom(m, 11, " CA ") + Vec3{1.5f, 0.0f, 0.0f};
  *atom(m, 10, " CA ") = *atom(m, 10, " CA ") + Vec3{0.0f, 0.0f, 20.0f};
  const Score s = score(n, m);
  EXPECT_EQ(s.ca_breaks, 2);
  EXPECT_EQ(s.native_ca_breaks, 0);
  EXPECT_GT(s.heavy_clashes, s.native_heavy_clashes);
  // Pairs one to three bonds apart are never clashes: a chain of bonded atoms alone has none.
  Chain one;
  one.res.push_back(n.res[0]);
  EXPECT_EQ(score(one, one).heavy_clashes, 0);
}

TEST(Score, CommandPrintsOneNamedFigurePerLine) {
  test::TempDir d;
  const std::string path = test::data_path("sidechains/ubq12.pdb");
  test::RunResult r = test::run_tools(d.path(), "score '" + path + "' '" + path + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nrmsd_backbone_n_c_o: 0.000\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nchi1_within_40: 1.000\n"), std::string::npos) << r.out;
  std::size_t lines = 0;
  for (std::size_t p = 0; (p = r.out.find('\n', p)) != std::string::npos; ++p) ++lines;
  EXPECT_EQ(lines, std::size_t(std::count(r.out.begin(), r.out.end(), ':')));
  EXPECT_EQ(test::run_tools(d.path(), "score '" + path + "'").status, 2);
  r = test::run_tools(d.path(), "score --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("ARG NH1/NH2"), std::string::npos) << r.out;
  EXPECT_EQ(test::run_tools(d.path(), "score '" + path + "' missing.pdb").status, 2);
}

}  // namespace
}  // namespace vorb::tools
