// Inputs as users bring them to rebuild: several chains, chain breaks, blank chain IDs, hetero
// groups and modified residues; the model handed back in the input's frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "export.hpp"
#include "model/errors.hpp"
#include "prep.hpp"
#include "segments.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tools;
using test::TempDir;

std::string q(const std::string& path) { return "'" + path + "'"; }

// ATOM and HETATM records of an example, each line passed through edit (empty: dropped).
template <typename Edit>
std::string records(const std::string& example, Edit edit) {
  const std::string text = read_file(std::string(VORB_SOURCE_DIR) + "/examples/" + example);
  std::string out;
  for (std::size_t p = 0; p < text.size();) {
    std::size_t e = text.find('\n', p);
    std::string l = text.substr(p, e - p);
    p = e + 1;
    if (l.rfind("ATOM", 0) != 0 && l.rfind("HETATM", 0) != 0) continue;
    l = edit(l, std::atoi(l.substr(22, 4).c_str()));
    if (!l.empty()) out += l + "\n";
  }
  return out;
}

// A complex: 1ubi as chain A with residues 3 and 30-34 cut out (a two-residue piece, then two
// segments), PRO 19 as HYP (with its OD1) and a zinc ion and a water; 1dpx as chain B with its
// two chloride ions.
std::string complex_pdb() {
  std::string a = records("1ubi_a.pdb", [](std::string l, int n) -> std::string {
    if (n == 3 || (n >= 30 && n <= 34)) return "";
    if (n == 19) {
      l.replace(0, 6, "HETATM");
      l.replace(17, 3, "HYP");
      if (l.substr(12, 4) == " CG ")
        l += "\nHETATM 9000  OD1 HYP A  19      30.000  19.000   9.000  1.00  5.00           O";
    }
    return l;
  });
  a += "TER\n"
       "HETATM 9001 ZN    ZN A 101      30.000  30.000  10.000  1.00 20.00          ZN\n"
       "HETATM 9002  O   HOH A 201      31.000  32.000  11.000  1.00 30.00           O\n";
  std::string b = records("1dpx_a.pdb", [](std::string l, int) { return l.replace(21, 1, "B"); });
  return a + b + "END\n";
}

struct Atom {
  std::string record, name, res, chain, altloc;
  int num = 0;
  double x = 0, y = 0, z = 0;
};

// The atom records of a PDB file, in order; "TER" records as atoms named TER.
std::vector<Atom> pdb_atoms(const std::string& path) {
  std::vector<Atom> out;
  const std::string text = read_file(path);
  for (std::size_t p = 0; p < text.size();) {
    std::size_t e = text.find('\n', p);
    const std::string l = text.substr(p, e - p);
    p = e + 1;
    if (l.rfind("TER", 0) == 0) out.push_back({"TER", "", "", "", "", 0});
    if (l.rfind("ATOM", 0) != 0 && l.rfind("HETATM", 0) != 0) continue;
    out.push_back({l.substr(0, 6), l.substr(12, 4), l.substr(17, 3), l.substr(21, 1), l.substr(16, 1),
                   std::atoi(l.substr(22, 4).c_str()), std::atof(l.substr(30, 8).c_str()),
                   std::atof(l.substr(38, 8).c_str()), std::atof(l.substr(46, 8).c_str())});
  }
  return out;
}

const Atom* find_atom(const std::vector<Atom>& atoms, const std::string& chain, int num,
                      const std::string& name) {
  for (const Atom& a : atoms)
    if (a.chain == chain && a.num == num && a.name == name) return &a;
  return nullptr;
}

double dist(const Atom& a, const Atom& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// Every C-alpha atom of the input at its input position in the output.
void expect_input_ca(const std::vector<Atom>& input, const std::vector<Atom>& output) {
  int n = 0;
  for (const Atom& a : input) {
    if (a.name != " CA " || (a.altloc != " " && a.altloc != "A")) continue;
    const Atom* m = find_atom(output, a.chain, a.num, " CA ");
    ASSERT_NE(m, nullptr) << a.chain << a.num;
    EXPECT_LT(dist(a, *m), 2e-3) << a.chain << a.num;
    ++n;
  }
  EXPECT_GT(n, 0);
}

// A complex with breaks, a short piece, hetero groups and a modified residue, in one command:
// both chains, each segment modelled on its own (a peptide bond nowhere across a break), the
// short piece and the hetero groups as in the input, HYP as PRO, all in the input's frame.
TEST(Inputs, ComplexWithBreaksHeteroGroupsAndAModifiedResidue) {
  TempDir d;
  test::write_file(d.file("complex.pdb"), complex_pdb());
  const std::vector<Atom> input = pdb_atoms(d.file("complex.pdb"));
  test::RunResult r = run_tools(d.path(), "rebuild complex.pdb --ca --workdir w -o m.pdb");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (const char* m : {"chain A: 2 break(s); 2 segment(s) modelled one by one",
                        "MET A 1 to GLN A 2: kept as in the input", "PHE A 4 to LYS A 29: modelled",
                        "modified residues modelled and named as their parent: HYP A 19 as PRO",
                        "copied unchanged into the output: 1 water(s); hetero groups ZN x1",
                        "hetero groups CL x2", "chains A, B, in the input's frame"})
    EXPECT_NE(r.out.find(m), std::string::npos) << m << "\n" << r.out;
  for (const char* f : {"w/run1/input.pdb.h", "w/run2/input.pdb.h", "w/run3/input.pdb.h"})
    EXPECT_TRUE(fs::exists(d.file(f))) << f;

  const std::vector<Atom> out = pdb_atoms(d.file("m.pdb"));
  expect_input_ca(input, out);
  // One TER per chain, after its last polymer residue; the gaps stay gaps.
  std::vector<std::string> ters;
  for (std::size_t k = 1; k < out.size(); ++k)
    if (out[k].record == "TER") ters.push_back(out[k - 1].chain + std::to_string(out[k - 1].num));
  EXPECT_EQ(ters, (std::vector<std::string>{"A76", "B129"}));
  for (int n : {3, 30, 34}) EXPECT_EQ(find_atom(out, "A", n, " CA "), nullptr) << n;
  // No peptide bond across the gap: each segment was a chain of its own.
  const Atom *c29 = find_atom(out, "A", 29, " C  "), *n35 = find_atom(out, "A", 35, " N  ");
  ASSERT_TRUE(c29 && n35);
  EXPECT_GT(dist(*c29, *n35), 2.0);
  const std::string run1 = read_file(d.file("w/run1/residues.tsv"));
  EXPECT_NE(run1.find("\n1\tPHE\tA\t4\t"), std::string::npos);
  EXPECT_EQ(run1.substr(run1.size() - 19), "\n26\tLYS\tA\t29\t.\tLYS\n");
  EXPECT_EQ(find_atom(out, "A", 2, " N  "), nullptr);  // the short piece: its C-alpha only
  const Atom* hyp = find_atom(out, "A", 19, " CG ");
  ASSERT_NE(hyp, nullptr);
  EXPECT_EQ(hyp->res + hyp->record, "PROATOM  ");
  EXPECT_EQ(find_atom(out, "A", 19, " OD1"), nullptr);
  for (const auto& [chain, num, name] : std::vector<std::tuple<std::string, int, std::string>>{
           {"A", 101, "ZN  "}, {"A", 201, " O  "}, {"B", 200, "CL  "}, {"B", 201, "CL  "}}) {
    const Atom *in = find_atom(input, chain, num, name), *o = find_atom(out, chain, num, name);
    ASSERT_TRUE(in && o) << chain << num;
    EXPECT_EQ(o->record, "HETATM");
    EXPECT_EQ(dist(*in, *o), 0.0) << chain << num;
  }

  // Chains by list (repeated options are the same list: chain_list below), without hetero groups.
  for (const char* args : {"--chain B,A --no-hetero"}) {
    r = run_tools(d.path(), std::string("rebuild complex.pdb --ca ") + args + " -o n.pdb");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Atom> n = pdb_atoms(d.file("n.pdb"));
    EXPECT_EQ(n.front().chain, "A") << args;  // in the file's order
    EXPECT_NE(find_atom(n, "B", 129, " CA "), nullptr) << args;
    EXPECT_NE(find_atom(n, "A", 76, " CA "), nullptr) << args;
    for (const Atom& a : n) EXPECT_NE(a.record, "HETATM") << args;
  }
  r = run_tools(d.path(), "rebuild complex.pdb --ca --chain B -o b.cif");
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Prepared> back = prepare_chains(d.file("b.cif"), PrepOptions{}, {});
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].chain, "B");
  EXPECT_EQ(back[0].notes.hetero.at("CL"), 2);

  // A template chain serves the model chain of its name only (mode 1: the quickest run).
  r = run_tools(d.path(), "rebuild complex.pdb --ca --no-hetero --mode 1 --template " +
                              q(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb") + " -o t.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("1ubi_a.pdb: 26 C-alpha atom(s) matched"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1ubi_a.pdb has no chain B: this run has no template"), std::string::npos);
}

// A file with blank chain IDs goes through prep, export and rebuild (PDB and mmCIF) and keeps
// its blank chain.
TEST(Inputs, BlankChainEndToEnd) {
  TempDir d;
  test::write_file(d.file("blank.pdb"),
                   records("1ubi_a.pdb", [](std::string l, int) { return l.replace(21, 1, " "); }));
  ASSERT_EQ(run_tools(d.path(), "prep blank.pdb --ca -o w").status, 0);
  EXPECT_NE(read_file(d.file("w/residues.tsv")).find("\n1\tMET\t\t1\t.\tMET\n"), std::string::npos);
  const std::string bbdat = std::string(VORB_SOURCE_DIR) + "/data/BBdat";
  ASSERT_EQ(test::run_vorb(d.path() / "w", "23 input.pdb " + q(bbdat)).status, 0);
  test::RunResult e = run_tools(d.path(), "export w/input.pdb.h -o e.pdb");
  ASSERT_EQ(e.status, 0) << e.err;
  test::RunResult r = run_tools(d.path(), "rebuild blank.pdb --ca -o m.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<Atom> m = pdb_atoms(d.file("m.pdb")), in = pdb_atoms(d.file("blank.pdb"));
  EXPECT_EQ(m.size(), pdb_atoms(d.file("e.pdb")).size());
  EXPECT_EQ(m.front().chain, " ");
  expect_input_ca(in, m);
  ASSERT_EQ(run_tools(d.path(), "rebuild blank.pdb --ca --chain ' ' -o m.cif").status, 0);
  for (const char* f : {"m.pdb", "m.cif", "e.pdb"}) {
    Prepared p = prepare_structure(d.file(f), PrepOptions{});
    EXPECT_EQ(p.chain, "") << f;
    EXPECT_EQ(p.res.size(), 76u) << f;
  }
}

TEST(Inputs, ModifiedResiduesAndHeteroGroupsInPrep) {
  TempDir d;
  test::write_file(d.file("complex.pdb"), complex_pdb());
  PrepOptions opt;
  opt.hetero = true;
  std::vector<Prepared> chains = prepare_chains(d.file("complex.pdb"), opt, {});
  ASSERT_EQ(chains.size(), 2u);
  const Prepared& a = chains[0];
  ASSERT_EQ(a.res.size(), 70u);
  EXPECT_EQ(a.res[17].res.name + a.res[17].input_name, "PROHYP");
  EXPECT_EQ(a.notes.modified, (std::vector<std::string>{"HYP A 19 as PRO"}));
  EXPECT_EQ(a.breaks, (std::vector<std::size_t>{2, 28}));
  ASSERT_EQ(a.hetero.size(), 2u);
  EXPECT_EQ(a.hetero[0].name + a.hetero[1].name, "ZNHOH");
  EXPECT_TRUE(a.hetero[1].water);
  EXPECT_TRUE(a.notes.other_chains.empty());
  EXPECT_EQ(chains[1].hetero.size(), 2u);

  // Split at the breaks (the two-residue piece kept as it is), or whole for the sequence path.
  std::vector<Segment> parts = plan_segments(a, GapPolicy::split);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_FALSE(parts[0].modelled);
  EXPECT_EQ(parts[1].first, 2u);
  EXPECT_EQ(parts[2].part.res.front().res.num, 1);
  EXPECT_EQ(parts[2].part.res.front().num, 35);
  EXPECT_EQ(plan_segments(a, GapPolicy::fill).size(), 1u);

  // Residues without a standard L parent are all named, and nothing is prepared.
  std::string text = complex_pdb();
  for (const char* from : {"HYP A  19", "GLN A   2"}) {
    const std::string to = from[0] == 'H' ? "DAL A  19" : "XYZ A   2";
    for (std::size_t p = text.find(from); p != std::string::npos; p = text.find(from, p))
      text.replace(p, to.size(), to);
  }
  test::write_file(d.file("bad.pdb"), text);
  try {
    prepare_chains(d.file("bad.pdb"), opt, {"A"});
    ADD_FAILURE() << "accepted";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("residue(s) XYZ A 2, DAL A 19: neither"), std::string::npos)
        << e.what();
  }
  EXPECT_THROW(chain_list({"A,,B"}), InputError);
  EXPECT_EQ(chain_list({"A,B", "C"}), (std::vector<std::string>{"A", "B", "C"}));
}

// The frame: per axis the median difference of matched C-alpha atoms, which a few moved atoms
// do not change; no match, no shift.
TEST(Inputs, FrameOffsetIsTheShiftOfTheKeptAtoms) {
  std::vector<ModelAtom> in, model;
  for (int k = 1; k <= 5; ++k) {
    in.push_back({" CA ", "GLY", k, 1.0 * k, -2.0 * k, 0.5});
    in.push_back({" N  ", "GLY", k, 9.0, 9.0, 9.0});
    model.push_back({" CA ", "GLY", k, 1.0 * k + 18.0, -2.0 * k + 30.0, 0.5});
    model.push_back({" N  ", "GLY", k, 0.0, 0.0, 0.0});
  }
  model[2].x += 3.0;  // a refined C-alpha atom
  int matched = 0;
  std::array<double, 3> off = frame_offset(model, in, matched);
  EXPECT_EQ(matched, 5);
  EXPECT_EQ(off, (std::array<double, 3>{18.0, 30.0, 0.0}));
  for (ModelAtom& a : in) a.resnum += 100;
  EXPECT_EQ(frame_offset(model, in, matched), (std::array<double, 3>{0.0, 0.0, 0.0}));
  EXPECT_EQ(matched, 0);
}

// The workflow rebuilds every chain of every file and goes on past a bad one, which it lists.
TEST(Inputs, SnakemakeWorkflowGoesOnPastABadFile) {
  if (std::system("command -v snakemake >/dev/null 2>&1") != 0) GTEST_SKIP() << "no snakemake";
  TempDir d;
  fs::create_directories(d.file("in"));
  test::write_file(d.file("in/complex.pdb"), complex_pdb());
  test::write_file(d.file("in/bad.pdb"), "not a structure\n");
  test::write_file(d.file("in/blank.pdb"),
                   records("1ubi_a.pdb", [](std::string l, int) { return l.replace(21, 1, " "); }));
  test::RunResult r = test::run_in(
      d.path(), "snakemake -s " + q(std::string(VORB_SOURCE_DIR) + "/workflows/Snakefile") +
                    " --cores 1 --quiet --config inputs=in extra=--ca tools=" + q(VORB_TOOLS_BIN));
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("1 of 3 input(s) failed:"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(d.file("models/failures.txt")),
            "in/bad.pdb: exit status 2, see models/logs/bad.log\n");
  const std::vector<Atom> m = pdb_atoms(d.file("models/complex.pdb"));
  EXPECT_NE(find_atom(m, "A", 76, " CA "), nullptr);
  EXPECT_NE(find_atom(m, "B", 129, " CA "), nullptr);
  EXPECT_TRUE(fs::exists(d.file("models/blank.pdb")));
}

}  // namespace
}  // namespace vorb::tools
