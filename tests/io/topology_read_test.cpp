#include "io/topology_read.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "io/pdb_read.hpp"
#include "model/atom_table.hpp"
#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

TEST(Topology, ReadsAHandWrittenPeptideFieldByField) {
  auto s = test::make_state();
  s->mode = Name4::from("5");
  read_topology(*s, test::data_path("io/peptide.Hdd"));
  EXPECT_EQ(s->natom, 20);
  EXPECT_EQ(s->nang, 90);
  EXPECT_EQ(s->npot, 2);
  EXPECT_EQ(s->nres, 2);
  EXPECT_EQ(s->ica(1), 2);
  EXPECT_EQ(s->ica(2), 11);
  EXPECT_EQ(s->ityp(1), 1);
  EXPECT_EQ(s->ityp(2), 2);
  EXPECT_EQ(s->ress2(9), 1);
  EXPECT_EQ(s->ress2(10), 2);
  EXPECT_TRUE(s->atom(15, 1) == " OXT");
  EXPECT_TRUE(s->resd2(15) == "ALA");
  EXPECT_EQ(s->aty(5), 'H');   // "1H  ": second character
  EXPECT_EQ(s->aty(2), 'C');
  EXPECT_FLOAT_EQ(s->atmpar(1, 1), -0.3f);
  EXPECT_FLOAT_EQ(s->atmpar(5, 3), 1.0f);
  EXPECT_EQ(s->atmhb(4), 1);
  EXPECT_EQ(s->atmhb(16), -1);
  EXPECT_EQ(s->bonda(11, 1), 10);
  EXPECT_EQ(s->bonda(11, 3), 14);
  EXPECT_EQ(s->bonda(11, 5), 4);
  EXPECT_FLOAT_EQ(s->bond(11, 2), 1.458f);
  EXPECT_FLOAT_EQ(s->bond(11, 4), 1.525f);
  EXPECT_EQ(s->anga(46, 1), 3);
  EXPECT_EQ(s->anga(46, 3), 16);
  EXPECT_FLOAT_EQ(s->ang(46, 2), 123.0f);
  EXPECT_EQ(s->anga(60, 1), 0);
  EXPECT_FLOAT_EQ(s->hbpot(1, 1), 0.10f);  // values 2, 4, 5, 7 of seven
  EXPECT_FLOAT_EQ(s->hbpot(2, 2), 0.21f);
  EXPECT_FLOAT_EQ(s->hbpot(2, 3), 0.31f);
  EXPECT_FLOAT_EQ(s->hbpot(2, 4), 0.41f);
  EXPECT_FLOAT_EQ(s->ramah(421), 420 / 10000.0f);
  EXPECT_FLOAT_EQ(s->ramae(1369), 1368 / 20000.0f);
}

TEST(Topology, ResidueOutsideTheTwentyHasTypeZero) {
  std::string t = test::read_file(test::data_path("io/peptide.Hdd"));
  for (std::size_t at = t.find("ALA"); at != std::string::npos; at = t.find("ALA", at))
    t.replace(at, 3, "MSE");
  auto s = test::make_state();
  s->mode = Name4::from("5");
  std::istringstream in(t);
  read_topology_stream(*s, in, "Hdd");
  EXPECT_EQ(s->nres, 2);
  EXPECT_EQ(s->ica(2), 11);
  EXPECT_EQ(s->ityp(1), 1);
  EXPECT_EQ(s->ityp(2), 0);
  EXPECT_TRUE(s->resd2(11) == "MSE");
}

TEST(Topology, ModesSevenAndOneReadLess) {
  auto s = test::make_state();
  s->mode = Name4::from("7");
  read_topology(*s, test::data_path("io/peptide.Hdd"));
  EXPECT_EQ(s->bonda(11, 5), 0);
  EXPECT_EQ(s->ica(2), 11);
  auto h = test::make_state();
  h->mode = Name4::from("1");
  read_topology(*h, test::data_path("io/peptide.Hdd"));
  EXPECT_FLOAT_EQ(h->hbpot(1, 1), 0.10f);
  EXPECT_FLOAT_EQ(h->ramah(421), 0.0f);
}

TEST(Topology, AtomTableMatchesInputAtomsAndCountsHeavyPartners) {
  auto s = test::make_state();
  s->mode = Name4::from("5");
  s->pdbfile = test::data_path("io/peptide.pdb");
  read_structure(*s);
  read_topology(*s, test::data_path("io/peptide.Hdd"));
  build_atom_table(*s);
  EXPECT_EQ(s->npdb, 10);   // the record after TER is not read
  EXPECT_EQ(s->bonda(1, 6), 1);   // N1: CA plus three hydrogens
  EXPECT_EQ(s->bonda(11, 6), 3);  // CA2: N, C, CB (and HA)
  EXPECT_EQ(s->tkfp(11), 6);
  EXPECT_FLOAT_EQ(s->xx(11), 5.1f);
  EXPECT_FLOAT_EQ(s->xx(15), 999.0f);  // OXT not in the input
  EXPECT_EQ(s->tkfp(15), 0);
  EXPECT_FLOAT_EQ(s->xx(0), 999.0f);
  EXPECT_FLOAT_EQ(s->zz(kMaxAtoms), 999.0f);
  EXPECT_TRUE(s->atomty(16) == " H  ");
  EXPECT_EQ(s->ress(16), 2);
  EXPECT_EQ(s->iseed, 20);
}

TEST(Topology, DuplicateInputAtomsFirstOneWins) {
  test::TempDir dir;
  std::string t = test::read_file(test::data_path("io/peptide.pdb"));
  std::string dup = "ATOM      2  CA AGLY A   1       9.400   2.100   3.000  1.00 10.00           C\n";
  t.insert(t.find("ATOM      3"), dup);
  test::write_file(dir.file("p.pdb"), t);
  auto s = test::make_state();
  s->mode = Name4::from("5");
  s->pdbfile = dir.file("p.pdb");
  read_structure(*s);
  read_topology(*s, test::data_path("io/peptide.Hdd"));
  build_atom_table(*s);
  EXPECT_FLOAT_EQ(s->xx(2), 2.4f);
}

struct BadHdd : ::testing::Test {
  test::TempDir dir;
  std::string good = test::read_file(test::data_path("io/peptide.Hdd"));
  std::string error_of(const std::string& text) {
    test::write_file(dir.file("Hdd"), text);
    auto s = test::make_state();
    s->mode = Name4::from("5");
    try {
      read_topology(*s, dir.file("Hdd"));
    } catch (const InputError& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(BadHdd, MissingShortAndMalformedFilesNameTheLine) {
  auto s = test::make_state();
  EXPECT_THROW(read_topology(*s, dir.file("nothing")), InputError);
  EXPECT_NE(error_of(good.substr(0, good.find("\n", 500))).find("file ends before"),
            std::string::npos);
  std::string t = good;
  t.replace(t.find("1.8700"), 6, "1.8x00");
  EXPECT_NE(error_of(t).find("Hdd:3: column 36: expected F7.4"), std::string::npos) << error_of(t);
  EXPECT_NE(error_of("50000 0 0\n").find("capacity of 49997"), std::string::npos);
  EXPECT_NE(error_of("1 0 81\n").find("capacity of 80"), std::string::npos);
  std::string p = good;
  std::size_t at = p.find("\n   1      2") + 1;
  p.replace(at + 5, 6, "    99");
  EXPECT_NE(error_of(p).find("partner atom 99"), std::string::npos) << error_of(p);
}

}  // namespace
}  // namespace vorb
