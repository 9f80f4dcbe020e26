// Bad structure files, end to end: what the run reports, its exit status, and that it leaves
// nothing behind.
#include <gtest/gtest.h>

#include "io/ffmt.hpp"
#include "robust/robust_support.hpp"

namespace vorb::test {
namespace {

const std::string kLibrary = std::string(VORB_SOURCE_DIR) + "/data/BBdat";

// A directory holding the pentapeptide and its topology.
struct Penta : Workdir {
  Penta() { put("Hdd", generated_hdd(penta_pdb())); }
};

// The structure with line k (1-based) of its ATOM records replaced.
std::string with_atom_line(int k, const std::string& line) {
  std::vector<std::string> l = lines_of(penta_pdb());
  l[std::size_t(k - 1)] = line;
  return joined(l);
}

TEST(BadStructure, MissingEmptyOrShortEndsNormallyWithTheCount) {
  Penta wd;
  wd.put("empty.pdb", "");
  std::vector<std::string> nine = lines_of(penta_pdb());
  nine.resize(9);
  wd.put("nine.pdb", joined(nine));
  wd.put("hetatm.pdb", "HETATM    1  O   HOH A   1       1.000   2.000   3.000\n");
  for (auto [name, count] : {std::pair{"none.pdb", 0}, {"empty.pdb", 0}, {"nine.pdb", 9},
                             {"hetatm.pdb", 0}}) {
    for (const char* mode : {"1", "7", "23"}) {
      RunResult r = wd.run(std::string(mode) + " " + name + " BBdat");
      expect_refused(wd, r, 0, "");
      EXPECT_EQ(r.out, " read pdb file err, total atoms " + std::to_string(count) + "\n");
    }
  }
}

TEST(BadStructure, UnreadableOrMalformedIsAReadError) {
  Penta wd;
  wd.mkdir("dir.pdb");
  expect_refused(wd, wd.run("7 dir.pdb"), 2, "dir.pdb: is a directory, not a file");
  wd.symlink("loop.pdb", "loop.pdb");  // exists, but can never be opened
  expect_refused(wd, wd.run("7 loop.pdb"), 2,
                 "loop.pdb: cannot open: Too many levels of symbolic links");

  const std::string line = lines_of(penta_pdb())[4];
  struct Case {
    std::string line, error;
  };
  const Case cases[] = {
      // text in the residue number and in a coordinate, a value that is not a finite number
      {line.substr(0, 22) + "  x5" + line.substr(26), "p.pdb:5: column 23: expected I4 integer, found \"  x5\""},
      {line.substr(0, 38) + "   1.2.3" + line.substr(46), "p.pdb:5: column 39: expected F8.3 number, found \"   1.2.3\""},
      {line.substr(0, 30) + "     nan" + line.substr(38), "p.pdb:5: column 31: expected F8.3 number, found \"     nan\""},
      {line.substr(0, 46) + "    -inf" + line.substr(54), "p.pdb:5: column 47: expected F8.3 number, found \"    -inf\""},
      // a file cut in the middle of a record
      {line.substr(0, 50), "p.pdb:5: ATOM record ends at column 50, before its coordinates end at column 54 (truncated file?)"},
  };
  for (const Case& c : cases) {
    wd.put("p.pdb", with_atom_line(5, c.line));
    for (const char* mode : {"1", "5", "7", "23"})
      expect_refused(wd, wd.run(std::string(mode) + " p.pdb BBdat"), 2, c.error, mode);
  }
}

TEST(BadStructure, CrlfLineEndsAndLongLinesReadAsPlainLines) {
  Penta plain, odd;
  plain.put("p.pdb", penta_pdb());
  std::string crlf, hdd_crlf;
  for (const std::string& l : lines_of(penta_pdb()))
    crlf += l + std::string(100 - std::min<std::size_t>(l.size(), 100), ' ') + "beyond 100\r\n";
  for (const std::string& l : lines_of(generated_hdd(penta_pdb()))) hdd_crlf += l + "\r\n";
  odd.put("p.pdb", crlf);
  odd.put("Hdd", hdd_crlf);
  for (const char* mode : {"1", "5", "8"}) {
    RunResult a = plain.run(std::string(mode) + " p.pdb"), b = odd.run(std::string(mode) + " p.pdb");
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(a.out, b.out);
    ASSERT_EQ(a.err, "");
    EXPECT_EQ(plain.written(), odd.written());
    for (const std::string& f : plain.written()) {
      if (f == "p.pdb.h") continue;
      EXPECT_EQ(plain.read(f), odd.read(f)) << mode << " " << f;
    }
  }
  // Mode 1 copies columns 1-30 of the input lines; the rest of its output matches.
  EXPECT_EQ(plain.read("p.pdb.h"), odd.read("p.pdb.h"));
}

TEST(BadStructure, CoordinatesTooLargeForTheLatticeStop) {
  Penta wd;
  const std::string line = lines_of(penta_pdb())[4];
  // 1.0E+39 is beyond single precision and reads as infinite.
  for (const char* x : {" 1.0E+30", "  9999.0", "-10000.0", " 1.0E+39"}) {
    wd.put("p.pdb", with_atom_line(5, line.substr(0, 30) + x + line.substr(38)));
    for (const char* mode : {"1", "7", "23"}) {
      RunResult r = wd.run(std::string(mode) + " p.pdb BBdat");
      expect_refused(wd, r, 0, "STOP one of the protein length exceed simulation lattice");
      EXPECT_EQ(r.out.substr(0, 15), "protein too lar") << r.out;
    }
  }
}

TEST(BadStructure, DuplicateAtomTheFirstCopyWins) {
  Penta wd;
  std::vector<std::string> l = lines_of(penta_pdb());
  std::string moved = l[1].substr(0, 30) + "  30.000  30.000  30.000" + l[1].substr(54);
  l.insert(l.begin() + 3, moved);  // a second CA of residue 1, after the first
  wd.put("p.pdb", joined(l));
  RunResult r = wd.run("7 p.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  Penta ref;
  ref.put("p.pdb", penta_pdb());
  ASSERT_EQ(ref.run("7 p.pdb").status, 0);
  EXPECT_EQ(wd.read("chi1"), ref.read("chi1"));
}

// Atoms of residues the topology lacks, of another residue name, or of an unknown name fill no
// topology atom: the run goes on as if they were not there.
TEST(BadStructure, AtomsMatchingNothingAreDropped) {
  Penta ref, wd;
  ref.put("p.pdb", penta_pdb());
  std::vector<std::string> l = lines_of(penta_pdb());
  std::size_t last = l.size() - 1, in2 = 0, in3 = 0;
  while (l[last].substr(0, 4) != "ATOM") --last;
  for (std::size_t k = 0; k < l.size(); ++k) {
    if (l[k].substr(0, 4) != "ATOM") continue;
    if (!in2 && std::stoi(l[k].substr(22, 4)) == 2) in2 = k;
    if (!in3 && std::stoi(l[k].substr(22, 4)) == 3) in3 = k;
  }
  const std::string ala = l[in2].substr(0, 12) + " CB  ALA" + l[in2].substr(20);
  const std::string unknown = l[in3].substr(0, 12) + " XY " + l[in3].substr(16);
  const std::string res6 = l[last].substr(0, 22) + "   6" + l[last].substr(26);
  l.insert(l.begin() + std::ptrdiff_t(last) + 1, res6);
  l.insert(l.begin() + std::ptrdiff_t(in3) + 1, unknown);
  l.insert(l.begin() + std::ptrdiff_t(in2) + 1, ala);
  wd.put("p.pdb", joined(l));
  for (const char* mode : {"7", "23"}) {
    const std::string args = std::string(mode) + " p.pdb " + kLibrary;
    RunResult a = ref.run(args), b = wd.run(args);
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(b.out, a.out) << mode;
    EXPECT_EQ(b.err, "");
    ASSERT_EQ(wd.written(), ref.written()) << mode;
    for (const std::string& f : ref.written()) EXPECT_EQ(wd.read(f), ref.read(f)) << mode << " " << f;
  }
}

TEST(BadStructure, InputMatchingNoTopologyAtomIsRejected) {
  Penta wd;
  // Numbered from 101: the building modes match residues by number.
  std::string from101;
  for (const std::string& l : lines_of(penta_pdb()))
    if (l.size() > 26)
      from101 += l.substr(0, 22) + ffmt::fmt_i(std::stoi(l.substr(22, 4)) + 100, 4) + l.substr(26) + "\n";
  wd.put("t.pdb", from101);
  expect_refused(wd, wd.run("23 t.pdb BBdat"), 2,
                 "t.pdb: none of its 43 atoms matches an atom of Hdd by atom name, residue name and "
                 "residue number (this mode needs residues numbered 1..5 as in Hdd)");
  // A topology of another sequence: no residue name agrees.
  wd.put("Hdd", generated_hdd("GGGGG", true));
  wd.put("p.pdb", penta_pdb());
  expect_refused(wd, wd.run("5 p.pdb"), 2,
                 "p.pdb: none of its 43 atoms matches an atom of Hdd by atom name, residue name and "
                 "residue number");
}

}  // namespace
}  // namespace vorb::test
