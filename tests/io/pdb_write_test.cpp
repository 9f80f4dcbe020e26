#include "io/pdb_write.hpp"

#include <gtest/gtest.h>

#include "io/pdb_read.hpp"
#include "io/topology_read.hpp"
#include "model/atom_table.hpp"
#include "model/coords.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

TEST(PdbWrite, AtomRecordColumns) {
  EXPECT_EQ(atom_record(12, Name4::from(" CA "), Name3::from("ALA"), 7, 1.5f, -22.25f, 103.0f, 1),
            "ATOM     12  CA  ALA     7       1.500 -22.250 103.000  1");
  EXPECT_EQ(atom_record(1, Name4::from(" N  "), Name3::from("GLY"), 1, -1000.0f, 0, 0, 0),
            "ATOM      1  N   GLY     1    ********   0.000   0.000  0");
}

struct Peptide : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<ModelState> s = test::make_state();
  void load(const char* mode,
            const std::string& text = test::read_file(test::data_path("io/peptide.pdb"))) {
    s->mode = Name4::from(mode);
    test::write_file(dir.file("p.pdb"), text);
    s->pdbfile = dir.file("p.pdb");
    read_structure(*s);
    read_topology(*s, test::data_path("io/peptide.Hdd"));
    build_atom_table(*s);
  }
};

TEST_F(Peptide, ModelOutputHasHeavyAtomsOnlyAndCountsSerials) {
  load("23");
  s->xx(9) = 1.0f, s->yy(9) = 2.0f, s->zz(9) = 3.0f;  // a placed hydrogen is never written
  s->assrd(14) = 2;
  write_model(*s, dir.file("m.h"), true);
  std::string t = test::read_file(dir.file("m.h"));
  EXPECT_EQ(t,
            "ATOM      1  N   GLY     1       1.000   2.000   3.000  0\n"
            "ATOM      2  CA  GLY     1       2.400   2.100   3.000  0\n"
            "ATOM      3  C   GLY     1       3.000   3.500   3.000  0\n"
            "ATOM      4  O   GLY     1       2.500   4.600   3.100  0\n"
            "ATOM      5  N   ALA     2       4.300   3.400   3.000  0\n"
            "ATOM      6  CA  ALA     2       5.100   4.600   3.000  0\n"
            "ATOM      7  C   ALA     2       6.500   4.200   3.200  0\n"
            "ATOM      8  O   ALA     2       7.000   3.100   3.400  0\n"
            "ATOM      9  CB  ALA     2       4.800   5.600   4.100  2\n"
            "TER\n");
  write_model(*s, dir.file("m.fix"), false);
  EXPECT_EQ(test::read_file(dir.file("m.fix")).find("TER"), std::string::npos);
}

TEST_F(Peptide, HydrogenOutputKeepsInputColumnsInTopologyOrder) {
  load("1");
  s->xx(8) = 1.25f, s->yy(8) = 2.5f, s->zz(8) = 3.75f;  // a new glycine HA
  s->assrd(8) = 1;
  s->xx(10) = 4.0f;  // coordinates are written as they stand
  write_hydrogen_output(*s);
  std::string t = test::read_file(s->pdbfile + ".h");
  std::string in = test::read_file(s->pdbfile);
  std::size_t first = t.find('\n');
  EXPECT_EQ(t.substr(0, first), in.substr(in.find("ATOM"), 30) + "   1.000   2.000   3.000");
  EXPECT_NE(t.find("ATOM      0 1HA  GLY     1       1.250   2.500   3.750  1\n"), std::string::npos);
  EXPECT_NE(t.find("   4.000   3.400   3.000\n"), std::string::npos);
  // the input hydrogen is written as a new record, after the heavy atoms of its residue
  EXPECT_NE(t.find("ATOM      0  H   ALA     2       4.800   2.500   2.900  0\nTER\n"),
            std::string::npos)
      << t;
}

TEST_F(Peptide, HydrogenBeforeAnyPlacedInputAtomTakesTheLastInputResidueNumber) {
  // The file numbers its residues 7 and 8 (the record after TER, residue 9, is not read).
  std::string t = test::read_file(test::data_path("io/peptide.pdb"));
  for (const char* from : {"A   1 ", "A   2 "}) {
    const std::string to = std::string("A   ") + (from[4] == '1' ? "7 " : "8 ");
    for (std::size_t at = t.find(from); at != std::string::npos; at = t.find(from, at))
      t.replace(at, to.size(), to);
  }
  load("1", t);
  ASSERT_EQ(s->ress(16), 2);  // renumbered in the model
  for (int i = 1; i <= 4; ++i) set_missing(*s, i);  // GLY's heavy atoms are not written
  s->xx(5) = 1.0f, s->yy(5) = 2.0f, s->zz(5) = 3.0f;
  s->assrd(5) = 1;
  write_hydrogen_output(*s);
  const std::string out = test::read_file(s->pdbfile + ".h");
  EXPECT_EQ(out.substr(0, out.find('\n')),
            "ATOM      0 1H   GLY     8       1.000   2.000   3.000  1");
  EXPECT_NE(out.find("ATOM      5  N   ALA A   8       4.300   3.400   3.000\n"), std::string::npos)
      << out;
}

}  // namespace
}  // namespace vorb
