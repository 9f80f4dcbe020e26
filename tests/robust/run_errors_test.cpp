// Bad input to the branches, end to end: building modes, the fragment library, the auxiliary
// files, and the outputs.
#include <gtest/gtest.h>

#include <cstdio>

#include "robust/robust_support.hpp"

namespace vorb::test {
namespace {

const std::string kLibrary = std::string(VORB_SOURCE_DIR) + "/data/BBdat";

std::string without(const std::string& pdb, const std::string& name4, int residue = 0) {
  std::string t;
  for (const std::string& l : lines_of(pdb)) {
    bool drop = l.size() > 26 && l.substr(12, 4) == name4 &&
                (residue == 0 || std::stoi(l.substr(22, 4)) == residue);
    if (!drop) t += l + '\n';
  }
  return t;
}

struct Penta : Workdir {
  Penta() {
    put("Hdd", generated_hdd(penta_pdb()));
    put("p.pdb", penta_pdb());
  }
};

TEST(BadCommandLine, TextThatIsNoModeRunsTheSilentAnalysis) {
  Penta wd;
  for (const char* mode : {"02", "5x", "2345"}) {
    RunResult r = wd.run(std::string(mode) + " p.pdb");
    expect_refused(wd, r, 0, "", mode);
    EXPECT_EQ(r.out, "") << mode;
  }
}

TEST(BadBuild, ChainsTooShortOrWithoutCalphaAreRejected) {
  Penta wd;
  // Two residues: the builders look two residues away.
  std::string two;
  for (const std::string& l : lines_of(penta_pdb()))
    if (l.size() > 26 && std::stoi(l.substr(22, 4)) <= 2) two += l + '\n';
  wd.put("two.pdb", two);
  wd.put("Hdd", generated_hdd(two));
  expect_refused(wd, wd.run("23 two.pdb " + kLibrary), 2,
                 "Hdd: the model has 2 residue(s); building a model needs at least 3");
  // One residue with enough atoms (PHE, 11) to pass the structure reader's count.
  std::string one;
  for (const std::string& l : lines_of(penta_pdb()))
    if (l.size() > 26 && std::stoi(l.substr(22, 4)) == 4) one += l.substr(0, 22) + "   1" + l.substr(26) + '\n';
  wd.put("one.pdb", one);
  wd.put("Hdd", generated_hdd(one));
  for (const char* mode : {"23", "3", "31"})
    expect_refused(wd, wd.run(std::string(mode) + " one.pdb " + kLibrary), 2,
                   "Hdd: the model has 1 residue(s); building a model needs at least 3", mode);

  Penta w2;
  w2.put("noca.pdb", without(penta_pdb(), " CA "));
  expect_refused(w2, w2.run("23 noca.pdb " + kLibrary), 2,
                 "noca.pdb: every C-alpha atom is missing (residues must be numbered 1..5 as in "
                 "Hdd); nothing to build from (mode 31 builds missing C-alpha atoms, but needs "
                 "some)");
  expect_refused(w2, w2.run("31 noca.pdb " + kLibrary), 2,
                 "noca.pdb: every C-alpha atom is missing; nothing to build from");
  // Only residue 3 keeps its C-alpha: the missing runs 1-2 and 4-5 join into one run over the
  // whole chain, with nothing to build it from.
  std::string only3;
  for (const std::string& l : lines_of(penta_pdb()))
    if (!(l.size() > 26 && l.substr(12, 4) == " CA " && std::stoi(l.substr(22, 4)) != 3)) only3 += l + '\n';
  w2.put("span.pdb", only3);
  RunResult r = w2.run("31 span.pdb " + kLibrary);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(r.err.rfind("span.pdb: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("C-alpha"), std::string::npos) << r.err;
  EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
  EXPECT_EQ(w2.written(), std::set<std::string>{});
}

TEST(BadBuild, ResidueOutsideTheTwentyTypesIsRejected) {
  // Residue 3 (ILE) renamed MSE in the structure and the topology: the analysis modes run, the
  // builders have no recipe for it.
  Workdir wd;
  std::string pdb, hdd;
  for (const std::string& l : lines_of(penta_pdb()))
    pdb += (l.size() > 20 && l.substr(17, 3) == "ILE" ? l.substr(0, 17) + "MSE" + l.substr(20) : l) + '\n';
  for (const std::string& l : lines_of(generated_hdd(penta_pdb())))
    hdd += (l.size() > 18 && l.substr(15, 3) == "ILE" ? l.substr(0, 15) + "MSE" + l.substr(18) : l) + '\n';
  ASSERT_NE(hdd.find("MSE"), std::string::npos);
  wd.put("p.pdb", pdb);
  wd.put("Hdd", hdd);
  for (const char* mode : {"23", "3"})
    expect_refused(wd, wd.run(std::string(mode) + " p.pdb " + kLibrary), 2,
                   "Hdd: residue 3 \"MSE\" is not one of the 20 standard types (or has no CA); it "
                   "cannot be built",
                   mode);
  EXPECT_EQ(wd.run("7 p.pdb").status, 0);
}

TEST(BadBuild, CalphaGapOverTheWholeChainIsRejectedInModeThirtyOne) {
  // C-alpha atoms 1, 3 and 5 missing: the gaps merge into one over residues 1..5.
  Penta wd;
  std::string gaps = penta_pdb();
  for (int r : {1, 3, 5}) gaps = without(gaps, " CA ", r);
  wd.put("gaps.pdb", gaps);
  RunResult r = wd.run("31 gaps.pdb " + kLibrary);
  expect_refused(wd, r, 2,
                 "gaps.pdb: residues 1 to 5 all need a new C-alpha atom; no C-alpha atom is left "
                 "to build from");
  EXPECT_EQ(r.out, "");

  // C-alpha 3 missing with residues 4 and 5 moved 21 A away: the gap widens over the chain.
  std::string far;
  for (std::string l : lines_of(without(penta_pdb(), " CA ", 3))) {
    if (l.rfind("ATOM", 0) == 0 && std::stoi(l.substr(22, 4)) >= 4) {
      char x[16];
      std::snprintf(x, sizeof x, "%8.3f", std::stod(l.substr(30, 8)) + 21.0);
      l.replace(30, 8, x);
    }
    far += l + '\n';
  }
  wd.put("far.pdb", far);
  r = wd.run("31 far.pdb " + kLibrary);
  expect_refused(wd, r, 2,
                 "far.pdb: residues 3 to 3 lack a C-alpha atom and their neighbours are too far "
                 "apart: widened, the gap spans residues 1 to 5, the whole chain, and no C-alpha "
                 "atom is left to build from");
  EXPECT_EQ(r.out, "");
}

TEST(BadBuild, NoisyGappedTraceGetsAModelInModeThirtyOne) {
  // A noisy trace with two gaps: the walk fills residues 2-3 on the straight line (their flanks
  // are 10.7 A apart), which gives the backbone builder no frame there. Its C and N atoms were
  // left at 999, O was derived from them and the lattice stopped with "protein too large".
  Workdir wd;
  const std::string trace = read_file(data_path("coarse/1lds_a_trace.pdb"));
  wd.put("Hdd", generated_hdd(trace));
  wd.put("g.pdb", read_file(data_path("coarse/1lds_a_noisy_gapped.pdb")));
  RunResult r = wd.run("31 g.pdb " + kLibrary);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.find("protein too lar"), std::string::npos);
  int atoms = 0, calpha = 0;
  for (const std::string& l : lines_of(wd.read("g.pdb.fix"))) {
    if (l.rfind("ATOM", 0) != 0) continue;
    ++atoms;
    if (l.substr(12, 4) == " CA ") ++calpha;
    EXPECT_LT(std::stod(l.substr(30, 8)), 900.0) << l;
  }
  EXPECT_EQ(calpha, 97);
  EXPECT_GT(atoms, 700);
}

TEST(BadBuild, ResiduesWithoutCalphaAreCountedAndTheModelIsWritten) {
  Penta wd;
  wd.put("gap.pdb", without(penta_pdb(), " CA ", 3));
  RunResult r = wd.run("23 gap.pdb " + kLibrary);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " WARNING!!! 1 of 5 residues have no C-alpha atom in the input, first residue 3\n");
  EXPECT_EQ(wd.written(), std::set<std::string>{"gap.pdb.h"});
}

TEST(BadBuild, TopologyNotLaidOutForTheBuildersIsRejected) {
  Penta wd;
  // C and O of residue 2 swapped: the analysis modes find atoms by name and run; the builders
  // address them by offset and must not.
  std::vector<std::string> l = lines_of(generated_hdd(penta_pdb()));
  int c2 = 0, seen = 0;
  for (std::size_t k = 1; k < l.size() && !c2; ++k)
    if (l[k].substr(5, 4) == " C  " && ++seen == 2) c2 = int(k);
  ASSERT_EQ(l[std::size_t(c2 + 1)].substr(5, 4), " O  ");
  std::swap(l[std::size_t(c2)], l[std::size_t(c2 + 1)]);
  wd.put("Hdd", joined(l));
  EXPECT_EQ(wd.run("7 p.pdb").status, 0);
  Penta w2;
  w2.put("Hdd", joined(l));
  expect_refused(w2, w2.run("23 p.pdb " + kLibrary), 2,
                 "Hdd: residue 2 GLN: atom 3 is not \" C  \"; the building modes need its atoms in "
                 "the order N, CA, C, O, the 5 side-chain heavy atoms, then the hydrogens");
}

TEST(BadLibrary, MissingUnreadableOrLyingLibrary) {
  Penta wd;
  RunResult r = wd.run("23 p.pdb");
  expect_refused(wd, r, 0, "");
  EXPECT_EQ(r.out, " BBdat is not available, quit\n");
  expect_refused(wd, wd.run("23 p.pdb nolib"), 2, "nolib: cannot open the backbone library");
  wd.mkdir("dlib");
  expect_refused(wd, wd.run("23 p.pdb dlib"), 2, "dlib: is a directory, not a file");

  const std::string rec = " 1  0  0  0  0  0  1  1   1.000   1.000   1.000   1.000   1.000   1.000\n";
  const std::string hel = " 2" + rec.substr(2), str = " 3" + rec.substr(2);
  struct Case {
    std::string lib, out, err;
  };
  const Case cases[] = {
      {"3 1 0 2\n" + rec + str + str, " BBdat is not available, quit\n", ""},
      {"3 1 1 2\n" + rec + hel + str + str, "", "lib:1: header counts 1 + 1 + 2 do not add up to 3 records"},
      {"4 1 1 2\n" + rec + hel + str, "", "lib:5: file ends after 3 of the header's 4 records"},
      {"2 1 1 0\n" + rec + hel + str, "", "lib:4: more records than the header's 2"},
      {"3 2 1 0\n" + rec + hel + str, "", "lib:3: record 2 is helix but the header puts it among the coil records"},
      {"70001 70001 0 0\n", "", "lib: more library records than the capacity of 70000"},
      {"3 1 1 1\n" + rec + hel + " 3 26" + str.substr(5), "",
       "lib:4: key, residue type or slot outside 0..25, 0..10, 0..10, 0..4, 0..10, 1..20, 1..10"},
      {"three 1 1 1\n", "", "lib:1: expected four integers nbb, nbbc, nbbh, nbbe"},
      {"", "", "lib:1: file ends before its header"},
      {"-1 -1 0 0\n", "", "lib:1: negative count in the header"},
      {"3 1 1\n", "", "lib:2: file ends before its header"},
      {"3 1 1 1\n" + rec + hel + str.substr(0, 24) + "    nan" + str.substr(31), "",
       "lib:4: column 25: expected F7.3 number, found \"    nan\""},
      {"3 1 1 1\n" + rec + hel + str.substr(0, 24) + " abc.de" + str.substr(31), "",
       "lib:4: column 25: expected F7.3 number, found \" abc.de\""},
      {"3 1 1 1\n" + rec + hel + str.substr(0, 40) + "1.0E+39" + str.substr(47), "",
       "lib:4: a coordinate beyond single precision in record 3"},
  };
  for (const Case& c : cases) {
    wd.put("lib", c.lib);
    RunResult rr = wd.run("23 p.pdb lib");
    expect_refused(wd, rr, c.err.empty() ? 0 : 2, c.err, c.lib);
    EXPECT_EQ(rr.out, c.out);
  }
}

// The hydrogen-bond restraint run on the example chain (76 residues).
struct Ubiquitin : Workdir {
  Ubiquitin() {
    const std::string pdb = read_file(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb");
    put("Hdd", generated_hdd(pdb));
    put("u.pdb", pdb);
  }
};

TEST(BadAuxFiles, PrhbRowsOutsideTheModelAreSkippedAndTheListIsCut) {
  Ubiquitin wd;
  wd.put("PRHB", "1 N 10 O 6\n2 N 80 O 1\n3 N x O 4\n4 N 5 O -1\n5 N 12 O\n\n");
  RunResult r = wd.run("6 u.pdb");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines_of(r.out)[0], " warning: 4 PRHB lines skipped (unreadable, or a residue outside 1..76)");
  EXPECT_TRUE(wd.has("PRHB2"));
  // Neither restraint mode says anything about the missing seq.dat.
  EXPECT_EQ(r.out.find("seq.dat"), std::string::npos);
  RunResult r66 = wd.run("66 u.pdb");
  EXPECT_EQ(r66.status, 0) << r66.err;
  EXPECT_EQ(r66.out.find("seq.dat"), std::string::npos) << r66.out;

  Ubiquitin w2;
  std::string all;
  for (int d = 1, k = 0; d <= 76; ++d)
    for (int a = 1; a <= 76; ++a) all += std::to_string(++k) + " N " + std::to_string(d) + " O " + std::to_string(a) + "\n";
  w2.put("PRHB", all);
  r = w2.run("6 u.pdb");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines_of(r.out)[0], " warning: 5776 predicted H-bonds, list cut to the first 3000");
  EXPECT_EQ(lines_of(r.out)[1], " begin to write PRHB2 3000");
}

TEST(BadAuxFiles, RefinementGoesOnWithoutTemplateOrOutOfRangeRestraints) {
  Ubiquitin wd;
  std::string trace;
  for (const std::string& l : lines_of(wd.read("u.pdb")))
    if (l.rfind("ATOM", 0) == 0 && l.substr(12, 4) == " CA ") trace += l + '\n';
  wd.put("t.pdb", trace);
  wd.put("dist.dat", "3\n1 80 0 6.5 1.0\n0 5 0 7 1\n3 9 0 8.0 1.0\n");
  wd.put("distL.dat", "2\n1 4 6.5\n2 99 7.0\n");
  wd.put("combCA.dat", "1\n1 -4 0.9\n");
  RunResult r = wd.run("3 t.pdb " + kLibrary + " no_template.pdb");
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> out = lines_of(r.out);
  out.resize(8);
  EXPECT_EQ(out, (std::vector<std::string>{
                     " WARNING!! seq.dat is different to the structure, not use seq instead",
                     " WARNING!!! No template used",
                     " WARNING!!! dist.dat: 2 rows name residues outside 1..76, dropped",
                     " WARNING!!! distL.dat: 1 rows name residues outside 1..76, dropped",
                     " WARNING!!! combCA.dat: 1 rows name residues outside 1..76, dropped",
                     " warning!!!, no ZEPHAL restraints used", " HBlist 0 F",
                     " Warning,no predicted Hbond list availuable 0"}));
  EXPECT_EQ(wd.written(), (std::set<std::string>{"t.pdb.fix", "t.pdb.h"}));
}

TEST(BadAuxFiles, SequenceFileEndingEarlyIsAnEndOfFileError) {
  Ubiquitin wd;
  wd.put("seq.dat", "1 MET 1 0\n2 GLN 4 0\n3 ILE");
  expect_refused(wd, wd.run("6 u.pdb"), 2, "seq.dat:4: file ends before the record of residue 3 is complete");
  wd.mkdir("PRHB");
  wd.put("seq.dat", "1 MET 1 0\n2 GLN x 0\n");  // stops at the unreadable record; no PRHB
  RunResult r = wd.run("6 u.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "PRHB: is a directory, not a file\n");
}

TEST(BadAuxFiles, LevelFileWithOneValueIsAnEndOfFileErrorAndAWordIsEasy) {
  Penta wd;
  wd.put("init.dat", "1\n");
  expect_refused(wd, wd.run("23 p.pdb " + kLibrary), 2, "init.dat:2: file ends before its two values");
  wd.put("init.dat", "x hard\n");  // first value not an integer: the level stays "easy"
  RunResult r = wd.run("23 p.pdb " + kLibrary);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(wd.written(), std::set<std::string>{"p.pdb.h"});
}

TEST(Outputs, AFailedWriteLeavesNoTemporaryFile) {
  Penta wd;
  wd.mkdir("chi1");
  expect_refused(wd, wd.run("7 p.pdb"), 2, "chi1: cannot write output file: Is a directory");
  wd.mkdir("p.pdb.h");
  expect_refused(wd, wd.run("1 p.pdb"), 2, "p.pdb.h: cannot write output file: Is a directory");
}

TEST(Outputs, AFailedRunKeepsThePreviousOutput) {
  Penta wd;
  ASSERT_EQ(wd.run("8 p.pdb").status, 0);
  const std::string chi1 = wd.read("chi1"), seq0 = wd.read("seq0.dat");
  std::vector<std::string> l = lines_of(penta_pdb());
  l[6].replace(30, 8, "   oops ");
  wd.put("p.pdb", joined(l));
  RunResult r = wd.run("8 p.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(wd.read("chi1"), chi1);
  EXPECT_EQ(wd.read("seq0.dat"), seq0);
  EXPECT_EQ(wd.written(), (std::set<std::string>{"chi1", "seq0.dat"}));
}

// A directory that takes no new file: the output's temporary file cannot be created. The
// structure is read through /dev/fd, so its outputs would go to a directory of the kernel's.
TEST(Outputs, ADirectoryThatTakesNoFileIsNamedWithTheReason) {
  Penta wd;
  RunResult r = run_in(std::filesystem::path(wd.file(".")),
                       std::string("'") + VORB_BIN + "' 1 /dev/fd/3 3<p.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "/dev/fd/3.h: cannot create output file: No such file or directory\n");
  EXPECT_EQ(wd.written(), std::set<std::string>{});
}

// A write that fails half-way (here the file-size limit; a full disk takes the same path) leaves
// neither a cut file nor a temporary one, and the previous output stays.
TEST(Outputs, AWriteThatFailsHalfWayKeepsThePreviousOutput) {
  Ubiquitin wd;
  wd.put("u.pdb.h", "previous model\n");
  RunResult r = run_in(std::filesystem::path(wd.file(".")),
                       std::string("ulimit -f 8; trap '' XFSZ; exec '") + VORB_BIN + "' 1 u.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "u.pdb.h: cannot write output file\n");
  EXPECT_EQ(wd.read("u.pdb.h"), "previous model\n");
  EXPECT_EQ(wd.written(), std::set<std::string>{});
}

// A run interrupted half-way (Ctrl-C, kill, kill -9) leaves the previous model in place: outputs
// are renamed over their targets only when complete. The refinement of a 129-residue trace
// writes name.fix first and name.h a second or more later; the signal comes as soon as name.fix
// is there. (A shell starts background commands with SIGINT ignored; env restores it.)
TEST(Outputs, AnInterruptedRunKeepsThePreviousOutput) {
  Workdir wd;
  std::string trace;
  for (const std::string& l : lines_of(read_file(std::string(VORB_SOURCE_DIR) + "/examples/1dpx_a.pdb")))
    if (l.rfind("ATOM", 0) == 0 && l.substr(12, 4) == " CA ") trace += l + '\n';
  wd.put("t.pdb", trace);
  wd.put("Hdd", generated_hdd(trace));
  for (auto [sig, number] : {std::pair{"INT", 2}, {"TERM", 15}, {"KILL", 9}}) {
    wd.put("t.pdb.h", "previous model\n");
    std::filesystem::remove(wd.file("t.pdb.fix"));
    RunResult r = run_in(
        std::filesystem::path(wd.file(".")),
        std::string("{ env --default-signal=INT '") + VORB_BIN + "' 3 t.pdb '" + kLibrary +
            "' >/dev/null & pid=$!; n=0; while [ ! -e t.pdb.fix ] && [ $n -lt 6000 ] && kill -0 $pid; "
            "do sleep 0.05; n=$((n+1)); done; kill -" + sig + " $pid; wait $pid; echo $?; }");
    ASSERT_FALSE(r.out.empty()) << r.err;
    const int status = std::stoi(r.out);
    ASSERT_NE(status, 0) << sig << ": the run ended before it was interrupted";
    EXPECT_EQ(status, 128 + number) << sig;
    EXPECT_EQ(wd.read("t.pdb.h"), "previous model\n") << sig;
    EXPECT_EQ(wd.written(), std::set<std::string>{"t.pdb.fix"}) << sig;
  }
}

// Fixed output names that are symbolic links or FIFOs: the run writes through the link (to the
// file it points to, made when missing) and into the FIFO; neither is replaced by a plain file.
TEST(Outputs, LinksAndFifosAmongTheOutputsAreWrittenThrough) {
  Penta wd;
  ASSERT_EQ(wd.run("8 p.pdb").status, 0);
  const std::string chi1 = wd.read("chi1"), seq0 = wd.read("seq0.dat");
  std::filesystem::remove(wd.file("chi1"));
  std::filesystem::remove(wd.file("seq0.dat"));
  wd.mkdir("kept");
  wd.symlink("chi1", "kept/chi1.txt");
  wd.symlink("seq0.dat", "kept/seq0.txt");
  wd.put("kept/seq0.txt", "previous\n");
  ASSERT_EQ(wd.run("8 p.pdb").status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(wd.file("chi1")));
  EXPECT_EQ(wd.read("kept/chi1.txt"), chi1);
  EXPECT_EQ(wd.read("kept/seq0.txt"), seq0);
  EXPECT_EQ(wd.written(), std::set<std::string>{});

  Penta fifo;
  RunResult made = run_in(std::filesystem::path(fifo.file(".")), "mkfifo p.pdb.h");
  ASSERT_EQ(made.status, 0) << made.err;
  RunResult r = run_in(std::filesystem::path(fifo.file(".")),
                       "{ timeout 60 cat p.pdb.h > got & '" + std::string(VORB_BIN) +
                           "' 1 p.pdb; echo $?; wait; }");
  EXPECT_EQ(r.out.substr(r.out.size() - 2), "0\n") << r.out << r.err;
  EXPECT_EQ(std::filesystem::status(fifo.file("p.pdb.h")).type(), std::filesystem::file_type::fifo);
  Penta plain;
  ASSERT_EQ(plain.run("1 p.pdb").status, 0);
  EXPECT_EQ(fifo.read("got"), plain.read("p.pdb.h"));
}

}  // namespace
}  // namespace vorb::test
