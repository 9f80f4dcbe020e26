#include "analysis/torsions.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "analysis/model_builder.hpp"
#include "io/ffmt.hpp"
#include "geometry/torsion.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::ModelBuilder;

constexpr float kSentinel = 7.0f;

// Runs in a scratch directory, where "chi1" and "seq0.dat" are written.
struct InTempDir {
  test::TempDir dir;
  std::filesystem::path old = std::filesystem::current_path();
  InTempDir() { std::filesystem::current_path(dir.path()); }
  ~InTempDir() { std::filesystem::current_path(old); }
  bool exists(const char* f) const { return std::filesystem::exists(dir.path() / f); }
  std::string read(const char* f) const { return test::read_file(dir.file(f)); }
};

// GLY, SER, ILE with irregular coordinates; every torsion column preset to a sentinel.
std::unique_ptr<ModelState> three_residues(bool ile_gamma = true) {
  auto s = test::make_state();
  ModelBuilder b(*s);
  const char* names[] = {"GLY", "SER", "ILE"};
  const char* side[3][3] = {{nullptr, nullptr, nullptr},
                            {" CB ", " OG ", nullptr},
                            {" CB ", " CG1", " CG2"}};
  for (int r = 0; r < 3; ++r) {
    b.residue(names[r]);
    const float o = 3.8f * float(r);
    b.atom(" N  ", {10.0f + o, 10.0f + 0.3f * float(r), 10.0f});
    b.atom(" CA ", {11.2f + o, 10.9f, 10.4f - 0.2f * float(r)});
    b.atom(" C  ", {12.5f + o, 10.2f, 10.9f});
    b.atom(" O  ", {12.6f + o, 9.0f, 11.2f});
    for (int k = 0; k < 3 && side[r][k]; ++k) {
      Vec3 p{11.0f + o + 0.4f * float(k), 12.3f + 1.1f * float(k), 9.8f + 0.7f * float(k * k)};
      if (r == 2 && k == 1 && !ile_gamma) p = test::kAbsent;
      b.atom(side[r][k], p);
    }
  }
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 4; ++c) s->phipsichi(r, c) = kSentinel;
  return s;
}

float dih(const ModelState& s, int a, int b, int c, int d) {
  return dihedral(pos(s, a), pos(s, b), pos(s, c), pos(s, d));
}

TEST(Angle, BackboneAndSideChainTorsionsFromTheRightAtoms) {
  auto s = three_residues();
  angle(*s);
  const int k2 = s->ica(2), k3 = s->ica(3);
  EXPECT_EQ(s->phipsichi(1, 1), kSentinel);  // no phi for the first residue
  EXPECT_EQ(s->phipsichi(3, 2), kSentinel);  // no psi for the last
  EXPECT_FLOAT_EQ(s->phipsichi(2, 1), dih(*s, s->ica(1) + 1, k2 - 1, k2, k2 + 1));
  EXPECT_FLOAT_EQ(s->phipsichi(2, 2), dih(*s, k2 - 1, k2, k2 + 1, k3 - 1));
  EXPECT_FLOAT_EQ(s->phipsichi(1, 2), dih(*s, 1, 2, 3, s->ica(2) - 1));
  // Glycine has no side chain; serine has chi1 only; isoleucine chi1 and chi2.
  EXPECT_EQ(s->phipsichi(1, 3), kSentinel);
  EXPECT_FLOAT_EQ(s->phipsichi(2, 3), dih(*s, k2 - 1, k2, k2 + 3, k2 + 4));
  EXPECT_EQ(s->phipsichi(2, 4), kSentinel);
  EXPECT_FLOAT_EQ(s->phipsichi(3, 3), dih(*s, k3 - 1, k3, k3 + 3, k3 + 4));
  EXPECT_FLOAT_EQ(s->phipsichi(3, 4), dih(*s, k3, k3 + 3, k3 + 4, k3 + 5));
}

TEST(Angle, MissingGammaAtomLeavesTheSideChainColumns) {
  auto s = three_residues(false);
  angle(*s);
  EXPECT_EQ(s->phipsichi(3, 3), kSentinel);
  EXPECT_EQ(s->phipsichi(3, 4), kSentinel);
  EXPECT_NE(s->phipsichi(3, 1), kSentinel);
}

TEST(Angle, TorsionFileInTheAnalysisModesOnly) {
  for (const char* mode : {"7", "3"}) {
    InTempDir tmp;
    auto s = three_residues();
    s->mode = Name4::from(mode);
    angle(*s);
    if (std::string(mode) == "3") {
      EXPECT_FALSE(tmp.exists("chi1"));
      continue;
    }
    std::istringstream in(tmp.read("chi1"));
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "    1  GLY   7.0000   7.0000   7.0000" +
                            ffmt::fmt_f(s->phipsichi(1, 2), 9, 4));
    EXPECT_EQ(lines[2].substr(0, 10), "    3  ILE");
    EXPECT_EQ(lines[2].size(), 46u);
    EXPECT_EQ(lines[2].substr(10, 9), ffmt::fmt_f(s->phipsichi(3, 3), 9, 4));
  }
}

// A chain of n residues of type `type` whose phi/psi are set by the tests; propensities
// favour helix everywhere unless a test changes them.
std::unique_ptr<ModelState> torsion_chain(int n, const std::string& type = "ALA") {
  auto s = test::make_state();
  ModelBuilder b(*s);
  for (int r = 1; r <= n; ++r) {
    b.residue(type);
    b.atom(" N  ", {10.0f, 10.0f, 10.0f});
    b.atom(" CA ", {11.0f, 10.0f, 10.0f});
  }
  for (int c = 1; c <= kRamaCells; ++c) {
    s->ramah(c) = 0.5f;
    s->ramae(c) = 0.1f;
  }
  return s;
}

constexpr float kDeg = 0.0174533f;

void set_angles(ModelState& s, int r, float phi_deg, float psi_deg) {
  s.phipsichi(r, 1) = phi_deg * kDeg;
  s.phipsichi(r, 2) = psi_deg * kDeg;
}

std::string codes(const ModelState& s) {
  std::string c;
  for (int r = 1; r <= s.nres; ++r) c += char('0' + s.seq2(r, 1));
  return c;
}

TEST(Ass2nd, HelixAndStrandRegionsWithTheirPropensities) {
  auto s = torsion_chain(8);
  for (int r = 1; r <= 4; ++r) set_angles(*s, r, -63.0f, -41.0f);
  for (int r = 5; r <= 8; ++r) set_angles(*s, r, -120.0f, 130.0f);
  const int strand_cell = rama_cell(-120.0f, 130.0f);
  s->ramah(strand_cell) = 0.1f;
  s->ramae(strand_cell) = 0.5f;
  ass2nd(*s);
  EXPECT_EQ(codes(*s), "22224444");
  // A propensity at or below 0.005 assigns nothing.
  s->ramae(strand_cell) = 0.005f;
  s->ramah(strand_cell) = 0.0f;
  ass2nd(*s);
  EXPECT_EQ(codes(*s), "22221111");
}

TEST(Ass2nd, PropensityIsReadFromThePhiPsiCellOfTheAngles) {
  // Only the cell of phi -70..-60, psi -50..-40 favours helix.
  auto s = torsion_chain(6);
  for (int c = 1; c <= kRamaCells; ++c) s->ramah(c) = 0.0f;
  s->ramah(421) = 0.5f;
  for (int r = 1; r <= 6; ++r) set_angles(*s, r, -63.0f, -41.0f);
  ass2nd(*s);
  EXPECT_EQ(codes(*s), "222222");
  for (int r = 1; r <= 6; ++r) set_angles(*s, r, -57.0f, -41.0f);  // the next phi cell
  ass2nd(*s);
  EXPECT_EQ(codes(*s), "111111");
}

TEST(Ass2nd, IsolatedStatesAndSingleGaps) {
  auto coil = [](ModelState& s, int r) { set_angles(s, r, 60.0f, -150.0f); };
  {
    // One helical residue between coil becomes coil.
    auto s = torsion_chain(7);
    for (int r = 1; r <= 7; ++r) coil(*s, r);
    set_angles(*s, 4, -63.0f, -41.0f);
    ass2nd(*s);
    EXPECT_EQ(codes(*s), "1111111");
  }
  for (const char* mid : {"ALA", "PRO"}) {
    // Helix, one coil residue, helix: the gap is filled unless it is a proline.
    auto s = torsion_chain(9);
    for (int r = 1; r <= 9; ++r) set_angles(*s, r, -63.0f, -41.0f);
    coil(*s, 5);
    s->ityp(5) = residue_type(mid);
    ass2nd(*s);
    EXPECT_EQ(codes(*s), std::string(mid) == "PRO" ? "222212222" : "222222222") << mid;
  }
}

TEST(Ass2nd, BoundariesAndShortChains) {
  {
    // phi of exactly -45 degrees is neither helix nor strand.
    auto s = torsion_chain(6);
    for (int r = 1; r <= 6; ++r) {
      s->phipsichi(r, 1) = -0.7853982f;
      s->phipsichi(r, 2) = -0.5f;
    }
    ass2nd(*s);
    EXPECT_EQ(codes(*s), "111111");
  }
  for (int n : {1, 2, 3}) {
    auto s = torsion_chain(n);
    for (int r = 1; r <= n; ++r) set_angles(*s, r, -63.0f, -41.0f);
    ass2nd(*s);
    EXPECT_EQ(codes(*s), std::string(std::size_t(n), '1')) << n;
  }
}

TEST(Ass2nd, SecondaryStructureFileInModeEightOnly) {
  for (const char* mode : {"8", "3"}) {
    InTempDir tmp;
    auto s = torsion_chain(5, "LYS");
    for (int r = 1; r <= 5; ++r) set_angles(*s, r, -63.0f, -41.0f);
    s->mode = Name4::from(mode);
    ass2nd(*s);
    if (std::string(mode) == "3") {
      EXPECT_FALSE(tmp.exists("seq0.dat"));
      continue;
    }
    EXPECT_EQ(tmp.read("seq0.dat"),
              "    1   LYS    2    9\n    2   LYS    2    9\n    3   LYS    2    9\n"
              "    4   LYS    2    9\n    5   LYS    2    9\n");
  }
}

}  // namespace
}  // namespace vorb
