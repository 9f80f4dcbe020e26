// score and ca-trace on the files users bring: mmCIF, gzip, other numberings, several chains,
// MSE; and what they refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace vorb::test {
namespace {

std::string example(const std::string& name) { return std::string(VORB_SOURCE_DIR) + "/examples/" + name; }

// The ATOM records of the example, each passed through edit (which may drop it by clearing it).
template <class Edit>
std::string edited(Edit edit) {
  std::string out;
  std::string text = read_file(example("1ubi_a.pdb"));
  for (std::size_t p = 0, e; p < text.size(); p = e + 1) {
    e = text.find('\n', p);
    std::string l = text.substr(p, e - p);
    if (l.rfind("ATOM", 0) != 0) continue;
    edit(l);
    if (!l.empty()) out += l + "\n";
  }
  return out;
}

std::string renumbered(int offset, char chain = 'A', float dx = 0) {
  return edited([&](std::string& l) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%4d", std::stoi(l.substr(22, 4)) + offset);
    l.replace(22, 4, buf);
    l[21] = chain;
    std::snprintf(buf, sizeof buf, "%8.3f", std::stod(l.substr(30, 8)) + dx);
    l.replace(30, 8, buf);
  });
}

std::string field(const std::string& out, const std::string& key) {
  std::size_t p = out.find(key + ": ");
  if (p == std::string::npos) return "";
  p += key.size() + 2;
  return out.substr(p, out.find('\n', p) - p);
}

TEST(ScoreInputs, FormatsNumberingsAndChains) {
  TempDir d;
  const std::string pdb = "'" + example("1ubi_a.pdb") + "'";
  RunResult ref = run_tools(d.path(), "score " + pdb + " " + pdb);
  ASSERT_EQ(ref.status, 0) << ref.err;
  EXPECT_EQ(field(ref.out, "residues_matched"), "76");
  // A gzipped mmCIF native and one from standard input give the same figures.
  ASSERT_EQ(run_in(d.path(), "{ gzip -c '" + example("1ubi_a.cif") + "' > n.cif.gz; }").status, 0);
  EXPECT_EQ(run_tools(d.path(), "score n.cif.gz " + pdb).out, ref.out);
  EXPECT_EQ(run_tools(d.path(), "score - " + pdb + " < n.cif.gz").out, ref.out);

  // Numbered from 101: refused by number, matched by order.
  write_file(d.file("r.pdb"), renumbered(100));
  RunResult r = run_tools(d.path(), "score r.pdb " + pdb);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("only 0 of 76 residues"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--by-order"), std::string::npos) << r.err;
  EXPECT_EQ(run_tools(d.path(), "score --by-order r.pdb " + pdb).out, ref.out);

  // Two chains of the same numbers: B lies 40 A away and its GLY 10 lost its CA. The first
  // protein chain of each is compared unless the options name one; they are never mixed.
  write_file(d.file("ab.pdb"), renumbered(0, 'A') + "TER\n" +
                                   edited([](std::string& l) {
                                     if (l.substr(12, 4) == " CA " && l.substr(22, 4) == "  10") {
                                       l.clear();
                                       return;
                                     }
                                     l[21] = 'B';
                                     char buf[16];
                                     std::snprintf(buf, sizeof buf, "%8.3f", std::stod(l.substr(30, 8)) + 40);
                                     l.replace(30, 8, buf);
                                   }));
  EXPECT_EQ(run_tools(d.path(), "score ab.pdb ab.pdb").out, ref.out);
  RunResult ab = run_tools(d.path(), "score ab.pdb ab.pdb --model-chain B");
  ASSERT_EQ(ab.status, 0) << ab.err;
  EXPECT_EQ(field(ab.out, "translation"), "40.000 0.000 0.000");
  EXPECT_EQ(field(ab.out, "rmsd_backbone_n_c_o"), "0.000");
  EXPECT_EQ(field(ab.out, "ca_breaks_above_4.2"), "0");
  EXPECT_EQ(field(run_tools(d.path(), "score ab.pdb ab.pdb --native-chain B --model-chain B").out,
                  "translation"), "0.000 0.000 0.000");
  RunResult none = run_tools(d.path(), "score ab.pdb ab.pdb --native-chain C");
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("no protein chain \"C\" (protein chains: A, B)"), std::string::npos) << none.err;

  // An unrelated native: the names of the same numbers disagree.
  write_file(d.file("poly_ala.pdb"), edited([](std::string& l) { l.replace(17, 3, "ALA"); }));
  EXPECT_EQ(run_tools(d.path(), "score poly_ala.pdb " + pdb).status, 2);
  RunResult help = run_tools(d.path(), "score --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("same number and insertion code"), std::string::npos);
}

TEST(CaTraceInputs, ReadsWhatPrepReadsAndKeepsChainsApart) {
  TempDir d;
  ASSERT_EQ(run_tools(d.path(), "ca-trace '" + example("1ubi_a.pdb") + "' ref.pdb").status, 0);
  ASSERT_EQ(run_in(d.path(), "{ gzip -c '" + example("1ubi_a.cif") + "' > u.cif.gz; }").status, 0);
  ASSERT_EQ(run_tools(d.path(), "ca-trace u.cif.gz cif.pdb").status, 0);
  EXPECT_EQ(read_file(d.file("cif.pdb")), read_file(d.file("ref.pdb")));
  // MSE given as HETATM records is kept, as MET.
  write_file(d.file("mse.pdb"), edited([](std::string& l) {
               if (l.substr(17, 3) != "MET") return;
               l.replace(0, 6, "HETATM");
               l.replace(17, 3, "MSE");
               if (l.substr(12, 4) == " SD ") l.replace(12, 4, "SE  ").replace(76, 2, "SE");
             }));
  ASSERT_EQ(run_tools(d.path(), "ca-trace mse.pdb mse_t.pdb").status, 0);
  EXPECT_EQ(read_file(d.file("mse_t.pdb")), read_file(d.file("ref.pdb")));
  // Two chains: each numbered 1..n with its own ID and closed by TER; --chain takes one.
  write_file(d.file("ab.pdb"), renumbered(0, 'A') + "TER\n" + renumbered(200, 'B', 40));
  ASSERT_EQ(run_tools(d.path(), "ca-trace ab.pdb ab_t.pdb").status, 0);
  const std::string both = read_file(d.file("ab_t.pdb"));
  EXPECT_EQ(both.find("ATOM     77  CA  MET B   1      66.381  25.361   2.894"), 76 * 79 + 4) << both.substr(76 * 79, 200);
  EXPECT_NE(both.find("TER\nATOM"), std::string::npos);
  RunResult b = run_tools(d.path(), "ca-trace ab.pdb - --chain B");
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.out.rfind("ATOM      1  CA  MET B   1", 0), 0u) << b.out.substr(0, 100);
  EXPECT_EQ(std::count(b.out.begin(), b.out.end(), '\n'), 78);
  RunResult c = run_tools(d.path(), "ca-trace ab.pdb x.pdb --chain C");
  EXPECT_EQ(c.status, 2);
  EXPECT_NE(c.err.find("no protein chain \"C\" (protein chains: A, B)"), std::string::npos) << c.err;
}

}  // namespace
}  // namespace vorb::test
