#include "packer/sidechain_geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "model/errors.hpp"
#include "structure.hpp"
#include "support/test_support.hpp"

namespace vorb::packer {
namespace {

std::string geometry_path() { return std::string(VORB_SOURCE_DIR) + "/data/tables/geometry.txt"; }

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// Atom positions of a residue by trimmed name.
std::map<std::string, Vec3> atoms_of(const tools::Residue& r) {
  std::map<std::string, Vec3> m;
  for (const auto& [n, p] : r.atoms) m[trim(n)] = p;
  return m;
}

const std::vector<std::string>& names_of(const ScTopology& t) {
  static std::map<std::string, std::vector<std::string>> cache;
  auto& v = cache[t.res3];
  if (v.empty()) {
    v = {"N", "CA", "C", "CB"};
    for (const ScAtom& a : t.atoms) v.push_back(a.name);
  }
  return v;
}

TEST(SideChainGeometry, NativeTorsionsRebuildTheNativeSideChains) {
  const SideChainGeometry g = SideChainGeometry::read(geometry_path());
  const tools::Chain c = tools::read_chain(std::string(VORB_SOURCE_DIR) + "/examples/1dpx_a.pdb");
  int residues = 0;
  double worst = 0, worst_cb = 0;
  std::string worst_at;
  for (const tools::Residue& r : c.res) {
    const ScTopology* t = g.topology(r.name);
    if (!t) continue;
    auto m = atoms_of(r);
    const auto& names = names_of(*t);
    bool complete = true;
    for (const std::string& n : names) complete = complete && m.count(n);
    if (!complete) continue;
    ++residues;
    worst_cb = std::max(worst_cb, double(dist(place_cb(*t, m["N"], m["CA"], m["C"]), m["CB"])));
    // The native's chis: the torsion of each atom that defines one (offset 0).
    std::array<float, 4> chi{};
    for (const ScAtom& a : t->atoms)
      if (a.chi >= 0 && a.offset == 0.0f)
        chi[std::size_t(a.chi)] = dihedral_deg(m[names[std::size_t(a.a)]], m[names[std::size_t(a.b)]],
                                               m[names[std::size_t(a.c)]], m[a.name]);
    std::vector<Vec3> out(t->atoms.size());
    build_side_chain(*t, m["N"], m["CA"], m["C"], m["CB"], chi, out.data());
    for (std::size_t k = 0; k < out.size(); ++k) {
      const std::string& an = t->atoms[k].name;
      double d = dist(out[k], m[an]);
      // Files name the two ARG NH either way.
      if (an == "NH1" || an == "NH2") d = std::min(d, double(dist(out[k], m[an == "NH1" ? "NH2" : "NH1"])));
      if (d > worst) worst = d, worst_at = r.name + " " + std::to_string(r.num) + " " + t->atoms[k].name;
    }
  }
  EXPECT_GT(residues, 100);
  EXPECT_LT(worst_cb, 0.3) << "ideal CB against the native's";
  EXPECT_LT(worst, 0.8) << worst_at;
}

TEST(SideChainGeometry, IdealBondsPlanarRingsClosedProline) {
  const SideChainGeometry g = SideChainGeometry::read(geometry_path());
  const Vec3 n{0.0f, 1.45f, 0.0f}, ca{0, 0, 0}, c{1.43f, -0.55f, 0.0f};
  for (const char* res : {"PHE", "TYR", "TRP", "HIS", "PRO", "ARG"}) {
    const ScTopology* t = g.topology(res);
    ASSERT_NE(t, nullptr);
    const Vec3 cb = place_cb(*t, n, ca, c);
    EXPECT_NEAR(dist(cb, ca), t->cb_bond, 1e-4);
    for (float chi1 : {-65.0f, 180.0f, 60.0f, 30.0f, -30.0f}) {
      std::vector<Vec3> x(t->atoms.size());
      build_side_chain(*t, n, ca, c, cb, {chi1, 80.0f, 0.0f, 180.0f}, x.data());
      std::vector<Vec3> all{n, ca, c, cb};
      all.insert(all.end(), x.begin(), x.end());
      for (std::size_t k = 0; k < x.size(); ++k)
        EXPECT_NEAR(dist(x[k], all[std::size_t(t->atoms[k].c)]), t->atoms[k].bond, 1e-3) << res;
      if (std::string(res) == "PRO" && std::fabs(chi1) < 40) {
        EXPECT_NEAR(dist(x[1], n), 1.474, 0.03) << "ring closed at chi1 " << chi1;
      }
      if (std::string(res) != "PRO" && std::string(res) != "ARG") {
        // Every ring atom (CG onward) within 0.01 A of the plane of CG, CD1, CD2 (ND1 for HIS).
        Vec3 nrm = cross(x[1] - x[0], x[2] - x[0]);
        nrm = nrm / norm(nrm);
        for (std::size_t k = 0; k < x.size(); ++k) EXPECT_NEAR(dot(x[k] - x[0], nrm), 0.0, 0.01) << res;
      }
    }
  }
}

TEST(SideChainGeometry, MissingOrMalformedFileNamesIt) {
  test::TempDir d;
  try {
    SideChainGeometry::read(d.file("none.txt"));
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("none.txt"), std::string::npos);
  }
  test::write_file(d.file("g.txt"), "ALA CA CB . 1.52x 0.01 10 0\n");
  try {
    SideChainGeometry::read(d.file("g.txt"));
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("g.txt:1"), std::string::npos);
  }
}

}  // namespace
}  // namespace vorb::packer
