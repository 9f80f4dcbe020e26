#include "dssp.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/test_support.hpp"
#include "tools/ideal_chain.hpp"

namespace vorb::tools {
namespace {

using test::ideal_chain;
using test::uniform_chain;

std::string ss_string(const Assignment& a) { return std::string(a.ss.begin(), a.ss.end()); }

bool has_bond(const Assignment& a, int donor, int acceptor) {
  return std::any_of(a.hbonds.begin(), a.hbonds.end(), [&](const BackboneHBond& b) {
    return b.donor == donor && b.acceptor == acceptor;
  });
}

// Rotates p by 180 degrees about the line through c along the unit vector u.
Vec3 half_turn(Vec3 p, Vec3 c, Vec3 u) { return (c + u * dot(p - c, u)) * 2.0f - p; }

// Two flat antiparallel strands of n residues: the second is the first turned 180 degrees about
// an axis normal to the strand plane, placed so that residue k faces residue k with N..O 2.9 A.
Chain antiparallel_pair(int n, int k) {
  Chain s = uniform_chain(std::size_t(n), 180.0f, 180.0f);
  const Residue& rk = s.res[std::size_t(k)];
  Vec3 ca0 = s.res[0].at(" CA "), ca1 = s.res[1].at(" CA "), ca2 = s.res[2].at(" CA ");
  Vec3 normal = cross(ca1 - ca0, ca2 - ca1);
  normal = normal / norm(normal);
  Vec3 axis = s.res[std::size_t(n - 1)].at(" CA ") - ca0;
  Vec3 side = cross(normal, axis);
  side = side / norm(side);
  if (dot(rk.at(" O  ") - rk.at(" C  "), side) < 0.0f) side = side * -1.0f;
  // Choose the offset whose N(k)..O'(k) distance is closest to 2.9 A.
  float best = 0.0f, best_err = 1e9f;
  for (float d = 1.0f; d <= 5.0f; d += 0.005f) {
    Vec3 c = rk.at(" CA ") + side * d;
    float err = std::fabs(dist(rk.at(" N  "), half_turn(rk.at(" O  "), c, normal)) - 2.9f);
    if (err < best_err) best_err = err, best = d;
  }
  Vec3 c = rk.at(" CA ") + side * best;
  Chain out = s;
  for (int i = 0; i < n; ++i) {  // the half turn makes the second strand run the other way
    Residue r = s.res[std::size_t(i)];
    for (auto& a : r.atoms) a.second = half_turn(a.second, c, normal);
    r.num = int(out.res.size()) + 1 + 5;  // numbering gap: the strands are not linked
    out.res.push_back(r);
  }
  return out;
}

TEST(AssignSecondary, IdealHelixIsHelicalInside) {
  Chain c = uniform_chain(14, -57.8f, -47.0f);
  Assignment a = assign_secondary(c);
  EXPECT_EQ(ss_string(a), " HHHHHHHHHHHH ");
  for (int d = 4; d < 14; ++d) EXPECT_TRUE(has_bond(a, d, d - 4)) << d;
  for (const BackboneHBond& b : a.hbonds) {
    EXPECT_GE(std::abs(b.donor - b.acceptor), 2);
    EXPECT_LT(b.energy, -0.5f);
  }
  EXPECT_EQ(three_state('H'), 2);
  EXPECT_EQ(three_state('G'), 1);
  EXPECT_EQ(three_state('E'), 4);
  EXPECT_EQ(three_state('B'), 1);
}

TEST(AssignSecondary, ExtendedChainAloneIsNotStructured) {
  Assignment a = assign_secondary(uniform_chain(10, -120.0f, 130.0f));
  EXPECT_TRUE(a.hbonds.empty());
  EXPECT_EQ(ss_string(a).find_first_not_of(" S"), std::string::npos) << ss_string(a);
  EXPECT_TRUE(assign_secondary(Chain{}).ss.empty());
}

TEST(AssignSecondary, AntiparallelStrandsFormALadder) {
  const int n = 7;
  Chain c = antiparallel_pair(n, 3);
  Assignment a = assign_secondary(c);
  std::string ss = ss_string(a);
  // Residue k of the first strand faces residue n+k of the second (its image); the end
  // residues lack a neighbour on one side and form no bridge.
  EXPECT_EQ(ss, " EEEEE  EEEEE ");
  // Narrow pairs bond both ways, wide pairs not at all.
  EXPECT_TRUE(has_bond(a, 3, n + 3));
  EXPECT_TRUE(has_bond(a, n + 3, 3));
  EXPECT_FALSE(has_bond(a, 2, n + 2));
  EXPECT_FALSE(has_bond(a, n + 2, 2));
  // The strands are not linked: no residue after the gap has an amide H.
  Vec3 h;
  EXPECT_FALSE(amide_h(c, std::size_t(n), h));
  EXPECT_TRUE(amide_h(c, std::size_t(n + 1), h));
}

TEST(AssignSecondary, ChainBreakStopsHelixAndAmideH) {
  Chain c = uniform_chain(20, -57.8f, -47.0f);
  // A small displacement breaks the C-N link but keeps most i -> i+4 contacts across it.
  test::shift_residues(c, 10, {0.0f, 0.0f, 0.9f});
  ASSERT_FALSE(peptide_bonded(c, 9));
  Assignment a = assign_secondary(c);
  std::string ss = ss_string(a);
  Vec3 h;
  EXPECT_FALSE(amide_h(c, 10, h));
  EXPECT_FALSE(has_bond(a, 10, 6));
  // Only residues whose helix lies on one side of the break are H.
  EXPECT_EQ(ss.substr(1, 8), "HHHHHHHH") << ss;
  EXPECT_EQ(ss.substr(11, 8), "HHHHHHHH") << ss;
  EXPECT_NE(ss[9], 'H') << ss;
  EXPECT_NE(ss[10], 'H') << ss;
}

TEST(AssignSecondary, ProlineAndIncompleteResiduesDonateNothing) {
  Chain c = uniform_chain(14, -57.8f, -47.0f);
  c.res[6].name = "PRO";
  c.res[6].type = 8;
  c.res[9].atoms.pop_back();  // residue 9 loses its O
  Assignment a = assign_secondary(c);
  Vec3 h;
  EXPECT_FALSE(amide_h(c, 6, h));
  EXPECT_FALSE(amide_h(c, 9, h));
  EXPECT_FALSE(amide_h(c, 10, h));  // the link 9-10 is missing
  EXPECT_EQ(a.ss[9], ' ');
  for (const BackboneHBond& b : a.hbonds) {
    EXPECT_NE(b.donor, 6);
    EXPECT_NE(b.donor, 9);
    EXPECT_NE(b.acceptor, 9);
  }
}

TEST(HbondEnergy, MatchesTheChargeModel) {
  // Collinear N-H..O=C, N-H 1.0, H..O 1.9, C=O 1.23 along one line.
  Vec3 n{0, 0, 0}, h{1.0f, 0, 0}, o{2.9f, 0, 0}, c{4.13f, 0, 0};
  float want = 27.888f * (1 / 2.9f + 1 / 3.13f - 1 / 1.9f - 1 / 4.13f);
  EXPECT_NEAR(hbond_energy(n, h, c, o), want, 1e-4f);
  EXPECT_FLOAT_EQ(hbond_energy(n, h, c, h), -9.9f);  // overlapping atoms give the floor
}

// Residues named in the depositors' HELIX / SHEET records of a file.
std::vector<char> header_ss(const std::string& path, const Chain& c) {
  std::vector<char> ss(c.res.size(), ' ');
  std::string text = test::read_file(path);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end - pos);
    pos = end == std::string::npos ? text.size() : end + 1;
    int from = 0, to = 0;
    char code = 0;
    if (line.rfind("HELIX ", 0) == 0 && line.size() > 40 && std::stoi(line.substr(38, 2)) == 1) {
      from = std::stoi(line.substr(21, 4)), to = std::stoi(line.substr(33, 4)), code = 'H';
    } else if (line.rfind("SHEET ", 0) == 0 && line.size() > 37) {
      from = std::stoi(line.substr(22, 4)), to = std::stoi(line.substr(33, 4)), code = 'E';
    }
    if (!code) continue;
    for (std::size_t i = 0; i < c.res.size(); ++i)
      if (c.res[i].num >= from && c.res[i].num <= to) ss[i] = code;
  }
  return ss;
}

TEST(AssignSecondary, RealChainsAgreeWithTheirDepositedRecords) {
  struct Case {
    const char* file;
    double h_lo, h_hi, e_lo, e_hi;
  };
  for (const Case& k :
       {Case{"1ubi_a.pdb", 0.12, 0.30, 0.25, 0.45}, Case{"1dpx_a.pdb", 0.25, 0.45, 0.03, 0.15}}) {
    std::string path = std::string(VORB_SOURCE_DIR) + "/examples/" + k.file;
    Chain c = read_chain(path);
    Assignment a = assign_secondary(c);
    std::vector<char> ref = header_ss(path, c);
    std::size_t n = c.res.size(), nh = 0, ne = 0, agree = 0;
    for (std::size_t i = 0; i < n; ++i) {
      nh += a.ss[i] == 'H';
      ne += a.ss[i] == 'E';
      char mine = a.ss[i] == 'H' || a.ss[i] == 'E' ? a.ss[i] : ' ';
      agree += mine == ref[i];
    }
    SCOPED_TRACE(std::string(k.file) + " " + ss_string(a));
    EXPECT_GE(double(nh) / double(n), k.h_lo);
    EXPECT_LE(double(nh) / double(n), k.h_hi);
    EXPECT_GE(double(ne) / double(n), k.e_lo);
    EXPECT_LE(double(ne) / double(n), k.e_hi);
    EXPECT_GE(double(agree) / double(n), 0.8);
  }
}

}  // namespace
}  // namespace vorb::tools
