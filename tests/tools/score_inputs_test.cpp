// score and ca-trace on the files users bring: mmCIF, gzip, other numberings, several chains,
// MSE; and what they refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/test_support.hpp"

namespace vorb::test {
namespace {

std::string example(const std::string& name) { return std::string(VORB_SOURCE_DIR) + "/examples/" + name; }

// The example's ATOM records renumbered by offset, in chain id, moved by dx along x; drop_ca10
// removes the CA of residue 10, mse makes the METs HETATM records of MSE.
std::string variant(int offset, char id = 'A', float dx = 0, bool drop_ca10 = false, bool mse = false) {
  std::string out;
  for (std::string l : [] {
         std::vector<std::string> v;
         std::string t = read_file(example("1ubi_a.pdb"));
         for (std::size_t p = 0, e; p < t.size(); p = e + 1) v.push_back(t.substr(p, (e = t.find('\n', p)) - p));
         return v;
       }()) {
    if (l.rfind("ATOM", 0) != 0) continue;
    const int num = std::stoi(l.substr(22, 4));
    if (drop_ca10 && num == 10 && l.substr(12, 4) == " CA ") continue;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%4d", num + offset);
    l.replace(22, 4, buf);
    std::snprintf(buf, sizeof buf, "%8.3f", std::stod(l.substr(30, 8)) + dx);
    l.replace(30, 8, buf);
    l[21] = id;
    if (mse && l.substr(17, 3) == "MET") {
      l.replace(0, 6, "HETATM").replace(17, 3, "MSE");
      if (l.substr(12, 4) == " SD ") l.replace(12, 4, "SE  ").replace(76, 2, "SE");
    }
    out += l + "\n";
  }
  return out;
}

std::string field(const RunResult& r, const std::string& key) {
  std::size_t p = r.out.find(key + ": ");
  return p == std::string::npos ? "" : r.out.substr(p + key.size() + 2, r.out.find('\n', p) - p - key.size() - 2);
}

TEST(ScoreInputs, FormatsNumberingsAndChains) {
  TempDir d;
  const std::string pdb = "'" + example("1ubi_a.pdb") + "'";
  RunResult ref = run_tools(d.path(), "score " + pdb + " " + pdb);
  ASSERT_EQ(field(ref, "residues_matched"), "76") << ref.err;
  ASSERT_EQ(run_in(d.path(), "{ gzip -c '" + example("1ubi_a.cif") + "' > n.cif.gz; }").status, 0);
  EXPECT_EQ(run_tools(d.path(), "score n.cif.gz " + pdb).out, ref.out);
  EXPECT_EQ(run_tools(d.path(), "score - " + pdb + " < n.cif.gz").out, ref.out);

  // Numbered from 101 (as when the numbers differ, 0 matched): refused, matched by order.
  write_file(d.file("r.pdb"), variant(100));
  RunResult r = run_tools(d.path(), "score r.pdb " + pdb);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("only 0 of 76 residues"), std::string::npos) << r.err;
  EXPECT_EQ(run_tools(d.path(), "score --by-order r.pdb " + pdb).out, ref.out);
  EXPECT_EQ(run_tools(d.path(), "score '" + example("1dpx_a.pdb") + "' " + pdb).status, 2);  // unrelated

  // Two chains of the same numbers, B 40 A away without the CA of GLY 10: one chain of each
  // side is compared, the first unless named; they are never mixed.
  write_file(d.file("ab.pdb"), variant(0) + "TER\n" + variant(0, 'B', 40, true));
  EXPECT_EQ(run_tools(d.path(), "score ab.pdb ab.pdb").out, ref.out);
  RunResult ab = run_tools(d.path(), "score ab.pdb ab.pdb --model-chain B");
  EXPECT_EQ(field(ab, "translation"), "40.000 0.000 0.000") << ab.err;
  EXPECT_EQ(field(ab, "rmsd_backbone_n_c_o"), "0.000");
  EXPECT_EQ(field(run_tools(d.path(), "score ab.pdb ab.pdb --native-chain B --model-chain B"),
                  "translation"), "0.000 0.000 0.000");
  RunResult none = run_tools(d.path(), "score ab.pdb ab.pdb --native-chain C");
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("no protein chain \"C\" (protein chains: A, B)"), std::string::npos) << none.err;
}

TEST(CaTraceInputs, ReadsWhatPrepReadsAndKeepsChainsApart) {
  TempDir d;
  ASSERT_EQ(run_tools(d.path(), "ca-trace '" + example("1ubi_a.pdb") + "' ref.pdb").status, 0);
  ASSERT_EQ(run_in(d.path(), "{ gzip -c '" + example("1ubi_a.cif") + "' > u.cif.gz; }").status, 0);
  write_file(d.file("mse.pdb"), variant(0, 'A', 0, false, true));
  for (const char* in : {"u.cif.gz", "mse.pdb"}) {
    RunResult r = run_tools(d.path(), std::string("ca-trace ") + in + " -");
    EXPECT_EQ(r.out, read_file(d.file("ref.pdb"))) << in << ": " << r.err;
  }
  // Two chains: each numbered 1..n under its own ID and closed by TER; --chain takes one.
  write_file(d.file("ab.pdb"), variant(0) + "TER\n" + variant(200, 'B', 40));
  const std::string both = run_tools(d.path(), "ca-trace ab.pdb -").out;
  EXPECT_EQ(both.find("TER\nATOM     77  CA  MET B   1      66.381  25.361   2.894"), 76 * 79u) << both;
  RunResult b = run_tools(d.path(), "ca-trace ab.pdb - --chain B");
  EXPECT_EQ(b.out.rfind("ATOM      1  CA  MET B   1", 0), 0u) << b.out.substr(0, 100);
  EXPECT_EQ(std::count(b.out.begin(), b.out.end(), '\n'), 78);
  RunResult c = run_tools(d.path(), "ca-trace ab.pdb x.pdb --chain C");
  EXPECT_EQ(c.status, 2);
  EXPECT_NE(c.err.find("no protein chain \"C\" (protein chains: A, B)"), std::string::npos) << c.err;
}

}  // namespace
}  // namespace vorb::test
