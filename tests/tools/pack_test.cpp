#include "pack.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "packer/pack.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tools;
using test::TempDir;

std::string q(const std::string& path) { return "'" + path + "'"; }
std::string source(const std::string& rel) { return std::string(VORB_SOURCE_DIR) + "/" + rel; }

bool side_chain(const std::string& name4) {
  std::string n = name4;
  n.erase(0, n.find_first_not_of(' '));
  n.erase(n.find_last_not_of(' ') + 1);
  return !(n == "N" || n == "CA" || n == "C" || n == "O" || n == "OXT");
}

// ATOM and HETATM records by chain, residue number, insertion code and atom name: columns
// 31-54 as written.
std::map<std::string, std::string> records(const std::string& path) {
  std::map<std::string, std::string> m;
  std::string text = read_file(path);
  for (std::size_t p = 0; p < text.size();) {
    std::size_t e = text.find('\n', p);
    std::string l = text.substr(p, e - p);
    p = e == std::string::npos ? text.size() : e + 1;
    if ((l.rfind("ATOM", 0) == 0 || l.rfind("HETATM", 0) == 0) && l.size() >= 54)
      m[l.substr(21, 6) + l.substr(12, 4) + l.substr(17, 3)] = l.substr(30, 24);
  }
  return m;
}

float coord(const std::string& xyz, int k) { return std::stof(xyz.substr(std::size_t(8 * k), 8)); }

// Repacking the example: every atom but the side chains unchanged as written, every side
// chain complete, no two atoms of different residues closer than 2.0 A (SG-SG aside), the
// same file twice, and most chi1 as in the native.
TEST(Pack, BackboneAndOtherAtomsUnchangedDeterministicNoOverlaps) {
  TempDir d;
  const std::string native = source("examples/1dpx_a.pdb");
  test::RunResult r = run_tools(d.path(), "pack " + q(native) + " -o a.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(run_tools(d.path(), "pack " + q(native) + " -o b.pdb").status, 0);
  EXPECT_EQ(read_file(d.file("a.pdb")), read_file(d.file("b.pdb")));
  const auto in = records(native), out = records(d.file("a.pdb"));
  int fixed = 0, side_in = 0, side_out = 0;
  for (const auto& [key, xyz] : in) {
    if (side_chain(key.substr(6, 4)) && key.substr(10, 3) != " CL") {
      ++side_in;
      EXPECT_TRUE(out.count(key)) << key;
      continue;
    }
    ++fixed;
    auto it = out.find(key);
    ASSERT_NE(it, out.end()) << key;
    EXPECT_EQ(it->second, xyz) << key;
  }
  for (const auto& [key, xyz] : out) side_out += side_chain(key.substr(6, 4)) && key.substr(10, 3) != " CL";
  EXPECT_GT(fixed, 500);
  EXPECT_EQ(side_out, side_in);
  int close = 0;
  for (auto a = out.begin(); a != out.end(); ++a)
    for (auto b = std::next(a); b != out.end(); ++b) {
      if (a->first.substr(0, 6) == b->first.substr(0, 6)) continue;
      if (a->first.substr(6, 4) == " SG " && b->first.substr(6, 4) == " SG ") continue;
      if ((a->first.substr(6, 4) == " C  " && b->first.substr(6, 4) == " N  ") ||
          (a->first.substr(6, 4) == " N  " && b->first.substr(6, 4) == " C  "))
        continue;
      float d2 = 0;
      for (int k = 0; k < 3; ++k) d2 += std::pow(coord(a->second, k) - coord(b->second, k), 2.0f);
      close += d2 < 4.0f;
    }
  EXPECT_EQ(close, 0);
  test::RunResult s = run_tools(d.path(), "score " + q(native) + " a.pdb");
  const std::size_t at = s.out.find("chi1_within_40: ");
  ASSERT_NE(at, std::string::npos) << s.out;
  EXPECT_GT(std::stof(s.out.substr(at + 16)), 0.75) << s.out;
}

// Both chains of a two-chain file are packed; mmCIF out; --keep-existing keeps complete side
// chains as they are and completes the others.
TEST(Pack, ChainsFormatsAndKeepExisting) {
  TempDir d;
  const std::string two = test::data_path("pipeline/two_chains.pdb");
  test::RunResult r = run_tools(d.path(), "pack " + q(two) + " -o a.cif");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string cif = read_file(d.file("a.cif"));
  EXPECT_NE(cif.find("_atom_site."), std::string::npos);
  ASSERT_EQ(run_tools(d.path(), "pack " + q(two) + " -o a.pdb").status, 0);
  const auto in = records(two), out = records(d.file("a.pdb"));
  std::map<char, int> moved;
  for (const auto& [key, xyz] : in)
    if (out.count(key) && out.at(key) != xyz) ++moved[key[0]];
  EXPECT_GT(moved['A'], 0);
  EXPECT_GT(moved['B'], 0);

  // Remove the side chain of one residue beyond CB: only that one is rebuilt.
  std::string text = read_file(source("examples/1dpx_a.pdb")), cut;
  for (std::size_t p = 0; p < text.size();) {
    std::size_t e = text.find('\n', p);
    std::string l = text.substr(p, e - p);
    p = e + 1;
    if (l.rfind("ATOM", 0) == 0 && l.substr(17, 9) == "LYS A   1" && side_chain(l.substr(12, 4)) &&
        l.substr(12, 4) != " CB ")
      continue;
    cut += l + "\n";
  }
  test::write_file(d.file("cut.pdb"), cut);
  r = run_tools(d.path(), "pack cut.pdb --keep-existing -o k.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("packed 1 residue(s)"), std::string::npos) << r.out;
  const auto cin = records(d.file("cut.pdb")), kout = records(d.file("k.pdb"));
  for (const auto& [key, xyz] : cin) EXPECT_EQ(kout.at(key), xyz) << key;
  for (const char* a : {" CG ", " CD ", " CE ", " NZ "}) EXPECT_TRUE(kout.count("A   1 " + std::string(a) + "LYS")) << a;
}

// Bad input: residues lacking CA and names outside the twenty are kept and named in one
// warning each; a missing rotamer library is an error naming it, with nothing written.
TEST(Pack, BadInput) {
  TempDir d;
  std::string text = read_file(source("examples/1dpx_a.pdb")), bad;
  for (std::size_t p = 0; p < text.size();) {
    std::size_t e = text.find('\n', p);
    std::string l = text.substr(p, e - p);
    p = e + 1;
    if (l.rfind("ATOM", 0) == 0 && l.substr(22, 4) == "  10" && l.substr(12, 4) == " CA ") continue;
    if (l.rfind("ATOM", 0) == 0 && (l.substr(22, 4) == "  11" || l.substr(22, 4) == "  12")) l.replace(17, 3, "XYZ");
    bad += l + "\n";
  }
  test::write_file(d.file("bad.pdb"), bad);
  test::RunResult r = run_tools(d.path(), "pack bad.pdb -o a.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("residue(s) lack N, CA or C and keep what they have: ALA A 10"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("2 residue(s) outside the twenty kept unchanged: XYZ A 11, XYZ A 12"),
            std::string::npos)
      << r.err;
  const auto in = records(d.file("bad.pdb")), out = records(d.file("a.pdb"));
  for (const auto& [key, xyz] : in) {
    if (key.substr(0, 6) == "A  10 " || key.substr(10, 3) == "XYZ") {
      EXPECT_EQ(out.at(key), xyz) << key;
    }
  }

  fs::create_directories(d.file("data/tables"));
  for (const char* f : {"geometry.txt", "hbond.txt", "rama.txt"})
    fs::copy_file(source(std::string("data/tables/") + f), d.file(std::string("data/tables/") + f));
  fs::copy_file(source("data/BBdat"), d.file("data/BBdat"));
  r = run_tools(d.path(), "pack bad.pdb --data data -o b.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("data/rotamers: no rotamer library"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(d.file("b.pdb")));
  r = run_tools(d.path(), "rebuild " + q(source("examples/1dpx_a.pdb")) +
                             " --ca --data data --workdir w -o c.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("data/rotamers: no rotamer library"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(d.file("w")));
  EXPECT_FALSE(fs::exists(d.file("c.pdb")));
  for (const char* a : {"--set w_rot", "--set bogus=1", "--set w_rot=x"})
    EXPECT_EQ(run_tools(d.path(), std::string("pack bad.pdb -o e.pdb ") + a).status, 2) << a;
}

// The amide flips: an ASN or GLN whose amide N sits 2.9 A from a fixed donor turns its O there.
TEST(Pack, AmideFlipsTowardsADonor) {
  const auto lib = packer::RotamerLibrary::read(source("data/rotamers"));
  const auto geo = packer::SideChainGeometry::read(source("data/tables/geometry.txt"));
  for (const char* res : {"ASN", "GLN"}) {
    const packer::ScTopology* t = geo.topology(res);
    const Vec3 n{0.0f, 1.45f, 0.0f}, ca{0, 0, 0}, c{1.43f, -0.55f, 0.0f};
    const Vec3 cb = packer::place_cb(*t, n, ca, c);
    const auto rot = lib.lookup(res, -65.0f, -40.0f);
    std::vector<Vec3> x(t->atoms.size());
    packer::build_side_chain(*t, n, ca, c, cb, rot[0].chi, x.data());
    const std::size_t on = t->atoms.size() - 2, nn = t->atoms.size() - 1;  // O, then N
    const Vec3 from = x[on - 1], amide_n = x[nn];
    const Vec3 dir = (amide_n - from) / norm(amide_n - from);
    packer::Residue r{res, true, {{"N", 'N', n}, {"CA", 'C', ca}, {"C", 'C', c}}};
    const Vec3 donor = amide_n + dir * 2.9f;
    packer::Residue lys{"LYS", false, {{"NZ", 'N', donor}}};
    const packer::Result out = packer::pack({r, lys}, {}, lib, geo);
    ASSERT_EQ(out.side[0].size(), t->atoms.size() + 1);
    const Vec3 o = out.side[0][on + 1].p, amide = out.side[0][nn + 1].p;
    EXPECT_LT(dist(o, donor), dist(amide, donor)) << res;
    EXPECT_LT(dist(o, donor), 3.3f) << res;
  }
}

}  // namespace
}  // namespace vorb::tools

namespace vorb::tools {
namespace {

// A lysine whose candidate rotamers all end on an obstacle (a carbon at each one's NZ): the
// packed side chain keeps 2.0 A from every obstacle (torsions refined off the library
// centres, or another rotamer), and no obstacle moves.
TEST(Pack, NoSideChainAtomWithin2AOfAnotherResidue) {
  const auto lib = packer::RotamerLibrary::read(source("data/rotamers"));
  const auto geo = packer::SideChainGeometry::read(source("data/tables/geometry.txt"));
  const packer::ScTopology* t = geo.topology("LYS");
  const Vec3 n{0.0f, 1.45f, 0.0f}, ca{0, 0, 0}, c{1.43f, -0.55f, 0.0f};
  const Vec3 cb = packer::place_cb(*t, n, ca, c);
  std::vector<packer::Atom> obstacles;
  std::vector<Vec3> x(t->atoms.size());
  for (const packer::Rotamer& ro : lib.lookup("LYS", -65.0f, -40.0f))
    for (float step : {-1.0f, 0.0f, 1.0f}) {
      std::array<float, 4> chi = ro.chi;
      chi[0] += step * ro.sd[0];
      packer::build_side_chain(*t, n, ca, c, cb, chi, x.data());
      obstacles.push_back({"C1", 'C', x.back()});
    }
  ASSERT_GE(obstacles.size(), 4u);
  packer::Residue r{"LYS", true, {{"N", 'N', n}, {"CA", 'C', ca}, {"C", 'C', c}}};
  const packer::Result out = packer::pack({r}, obstacles, lib, geo);
  ASSERT_EQ(out.side[0].size(), t->atoms.size() + 1);
  float closest = 1e9f;
  for (const packer::Atom& a : out.side[0])
    for (const packer::Atom& o : obstacles) closest = std::min(closest, dist(a.p, o.p));
  EXPECT_GE(closest, 2.0f) << obstacles.size();
}

}  // namespace
}  // namespace vorb::tools
