// Bad topology files (Hdd), end to end.
#include <gtest/gtest.h>

#include <sstream>

#include "io/ffmt.hpp"
#include "model/capacity.hpp"
#include "robust/robust_support.hpp"

namespace vorb::test {
namespace {

struct PentaInput : Workdir {
  PentaInput() { put("p.pdb", penta_pdb()); }
};

const std::vector<std::string>& hdd_lines() {
  static const std::vector<std::string> l = lines_of(generated_hdd(penta_pdb()));
  return l;
}

// Line k (1-based) of the generated topology with columns [from, from + text.size()) replaced.
std::string hdd_with(int k, std::size_t from, const std::string& text) {
  std::vector<std::string> l = hdd_lines();
  l[std::size_t(k - 1)].replace(from, text.size(), text);
  return joined(l);
}

int natom() { return std::stoi(hdd_lines()[0]); }

TEST(BadTopology, MissingShortOrMalformedIsAReadError) {
  PentaInput wd;
  expect_refused(wd, wd.run("5 p.pdb"), 2, "Hdd: cannot open topology file");
  wd.mkdir("Hdd");
  expect_refused(wd, wd.run("5 p.pdb"), 2, "Hdd: is a directory, not a file");

  PentaInput w2;
  const int n = natom();
  int nang = 0;
  std::istringstream(hdd_lines()[0]) >> nang >> nang;
  // Line numbers of the first statistics row and the first propensity record.
  const int stat1 = 2 * n + nang + 2, rama1 = stat1 + 80;
  // The topology cut after its first k lines.
  auto cut = [](int k) {
    return joined(std::vector<std::string>(hdd_lines().begin(), hdd_lines().begin() + k));
  };
  auto at = [](int line, const std::string& what) { return "Hdd:" + std::to_string(line) + ": " + what; };
  struct Case {
    std::string hdd, mode, error;
  };
  const Case cases[] = {
      {"", "7", "Hdd:1: file ends before its header"},
      {std::to_string(n) + " 225\n", "7", "Hdd:2: file ends before its header"},
      {"43 two 80\n", "7", "Hdd:1: expected three integers natom, nang, npot"},
      {"-1 0 0\n", "7", "Hdd:1: negative count in the header"},
      {"0 0 0\n", "7", "Hdd:1: the header lists no atoms"},
      // cut inside each section, in a mode that reads it: "7" stops after the atom records,
      // "1" after the statistics
      {cut(11), "7", at(12, "file ends before the atom records are complete")},
      {cut(n + 11), "1", at(n + 12, "file ends before the bond records are complete")},
      {cut(2 * n + 11), "5", at(2 * n + 12, "file ends before the angle records are complete")},
      {cut(stat1 + 9), "1", at(stat1 + 10, "file ends before the hydrogen-bond statistics are complete")},
      {cut(rama1 + 9), "5", at(rama1 + 10, "file ends before the 1369 propensity records are complete")},
      // the statistics and propensity rows are free-form: a word where a number belongs
      {hdd_with(stat1, 0, " x.xx"), "5", at(stat1, "expected 7 numbers in a hydrogen-bond statistics row")},
      {hdd_with(rama1, 0, " x.xx"), "5", at(rama1, "expected 5 numbers in a propensity record")},
      {hdd_with(3, 20, "abcdef"), "7", "Hdd:3: column 21: expected F6.3 number, found \"abcdef\""},
  };
  for (const Case& c : cases) {
    w2.put("Hdd", c.hdd);
    expect_refused(w2, w2.run(c.mode + " p.pdb"), 2, c.error, c.error);
  }
}

TEST(BadTopology, AtomIndicesOutsideTheModelAreRejected) {
  PentaInput wd;
  const int n = natom();
  const std::string bond = std::to_string(n + 2), angle = std::to_string(2 * n + 2);
  struct Case {
    std::string hdd, error;
  };
  const Case cases[] = {
      {hdd_with(n + 2, 5, "    99"), "Hdd:" + bond + ": partner atom 99 outside 1.." + std::to_string(n)},
      {hdd_with(n + 2, 5, "    -1"), "Hdd:" + bond + ": partner atom -1 outside 1.." + std::to_string(n)},
      {hdd_with(n + 2, 101, " 7"), "Hdd:" + bond + ": partner count 7 outside 0..4"},
      {hdd_with(2 * n + 2, 6, "   -4"), "Hdd:" + angle + ": angle atom -4 outside 0.." + std::to_string(n)},
      {hdd_with(2 * n + 2, 12, " 9999"), "Hdd:" + angle + ": angle atom 9999 outside 0.." + std::to_string(n)},
  };
  for (const Case& c : cases) {
    wd.put("Hdd", c.hdd);
    expect_refused(wd, wd.run("5 p.pdb"), 2, c.error, c.error);
  }
}

TEST(BadTopology, AtomRecordsOutOfResidueOrderAreRejected) {
  PentaInput wd;
  std::vector<std::string> l = hdd_lines();
  std::swap(l[1], l[2]);  // CA before the first N
  wd.put("Hdd", joined(l));
  expect_refused(wd, wd.run("7 p.pdb"), 2, "Hdd:2: atom record before the first residue's \" N  \"");
  // A residue without a CA: residue 2's renamed.
  int ca2 = 0, seen = 0;
  for (int k = 2; k <= natom() + 1 && !ca2; ++k)
    if (hdd_lines()[std::size_t(k - 1)].substr(5, 4) == " CA " && ++seen == 2) ca2 = k;
  wd.put("Hdd", hdd_with(ca2, 5, " CX "));
  expect_refused(wd, wd.run("7 p.pdb"), 2, "Hdd: residue 2 has no \" CA \" atom record");
}

// A topology naming one atom twice in a residue (here GLN's OE1 renamed CG): both records are
// filled from the same input atom, and the outputs carry the name twice, as the topology says.
TEST(BadTopology, RepeatedAtomNameTakesTheSameInputAtom) {
  PentaInput ref, wd;
  ref.put("Hdd", generated_hdd(penta_pdb()));
  std::vector<std::string> l = hdd_lines();
  int oe1 = 0;
  for (int k = 2; k <= natom() + 1 && !oe1; ++k)
    if (l[std::size_t(k - 1)].substr(5, 4) == " OE1" && l[std::size_t(k - 1)].substr(15, 3) == "GLN") oe1 = k;
  ASSERT_GT(oe1, 0);
  l[std::size_t(oe1 - 1)].replace(5, 9, " CG   CG ");
  wd.put("Hdd", joined(l));
  RunResult a = ref.run("7 p.pdb"), b = wd.run("7 p.pdb");
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(wd.read("chi1"), ref.read("chi1"));  // no torsion uses OE1

  ASSERT_EQ(wd.run("1 p.pdb").status, 0);
  std::vector<std::string> cg;
  for (const std::string& line : lines_of(wd.read("p.pdb.h")))
    if (line.size() > 20 && line.substr(12, 8) == " CG  GLN") cg.push_back(line);
  ASSERT_EQ(cg.size(), 2u);
  EXPECT_EQ(cg[0], cg[1]);
  EXPECT_EQ(wd.read("p.pdb.h").find(" OE1 GLN"), std::string::npos);
}

// Capacities: rejected with a message naming them, never written past. A topology with more
// than 3000 residues is built from bare N, CA, C, O records (mode "7" reads nothing else).
TEST(BadTopology, CapacitiesAreNamed) {
  PentaInput wd;
  const std::string angles = std::to_string(kMaxAng);
  for (auto [header, error] :
       {std::pair<std::string, std::string>{"49998 0 0", "Hdd: more atoms than the capacity of 49997"},
        {"43 " + std::to_string(kMaxAng + 1) + " 0", "Hdd: more angle records than the capacity of " + angles},
        {"43 0 81", "Hdd: more hydrogen-bond statistics rows than the capacity of 80"}}) {
    wd.put("Hdd", header + "\n");
    expect_refused(wd, wd.run("7 p.pdb"), 2, error, error);
  }
  std::string big = "12004 0 0\n";
  const char* names[] = {" N  ", " CA ", " C  ", " O  "};
  for (int i = 1; i <= 12004; ++i)
    big += ffmt::fmt_i(i % 10000, 4) + " " + names[(i - 1) % 4] + " " + names[(i - 1) % 4] +
           " GLY    0.000  0.0000  1.7000    0\n";
  wd.put("Hdd", big);
  expect_refused(wd, wd.run("7 p.pdb"), 2, "Hdd: more residues than the capacity of 3000");
}

}  // namespace
}  // namespace vorb::test
