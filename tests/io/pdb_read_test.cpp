#include "io/pdb_read.hpp"

#include <gtest/gtest.h>

#include "model/errors.hpp"
#include "support/pdb_lines.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::atom_line;

struct Reader : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<ModelState> s = test::make_state();
  void read(const std::string& text, const char* mode = "7") {
    test::write_file(dir.file("in.pdb"), text);
    s->pdbfile = dir.file("in.pdb");
    s->mode = Name4::from(mode);
    read_structure(*s);
  }
  // n ATOM lines of residue numbers nums[k] (one atom each).
  static std::string lines(std::initializer_list<int> nums) {
    std::string t;
    int k = 0;
    for (int n : nums) {
      ++k;
      t += atom_line(k, " CA ", "ALA", n, float(k), 2.0f, 3.0f) + "\n";
    }
    return t;
  }
};

TEST_F(Reader, RenumbersOutsideTheBuildingModes) {
  read(lines({5, 5, 7, 7, 3, 8, 9, 10, 11, 12}));
  int want[] = {1, 1, 2, 2, 2, 3, 4, 5, 6, 7};
  ASSERT_EQ(s->npdb, 10);
  for (int j = 1; j <= 10; ++j) EXPECT_EQ(s->pdbress(j), want[j - 1]) << j;
  EXPECT_FLOAT_EQ(s->xx0(6), 6.0f);
}

TEST_F(Reader, BuildingModesKeepTheFileNumbers) {
  read(lines({101, 101, 102, 103, 104, 105, 106, 107, 108, 109}), "23");
  EXPECT_EQ(s->pdbress(1), 101);
  EXPECT_EQ(s->pdbress(10), 109);
}

TEST_F(Reader, StopsAtTerAndEndAndFiltersRecords) {
  std::string t = "HEADER x\n" + lines({1, 2, 3, 4, 5}) +
                  "HETATM    6  O   HOH A 100       1.000   1.000   1.000  1.00 20.00           O\n" +
                  atom_line(7, " CB ", "ALA", 5, 1, 1, 1, 'A') + "\n" +
                  atom_line(8, " CB ", "ALA", 5, 9, 9, 9, 'B') + "\n" + lines({6, 7, 8, 9}) +
                  "TER\n" + lines({10, 11, 12});
  read(t);
  EXPECT_EQ(s->npdb, 10);  // 5 + the A copy + 4; HETATM, B copy and the second chain dropped
  EXPECT_TRUE(s->pdbatom(6) == " CB ");
  std::string e = lines({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}) + "ENDMDL\n" + lines({11, 12});
  read(e);
  EXPECT_EQ(s->npdb, 10);
}

TEST_F(Reader, FewerThanTenAtomsEndsTheRun) {
  testing::internal::CaptureStdout();
  EXPECT_THROW(read(lines({1, 2, 3})), EndRun);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " read pdb file err, total atoms 3\n");
  s->pdbfile = dir.file("does-not-exist.pdb");
  testing::internal::CaptureStdout();
  EXPECT_THROW(read_structure(*s), EndRun);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " read pdb file err, total atoms 0\n");
}

TEST_F(Reader, ModeOneKeepsTheFirstThirtyColumns) {
  std::string t = lines({4, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  read(t, "1");
  EXPECT_EQ(s->kfp(1).str(), t.substr(0, 30));
  EXPECT_EQ(s->tkfpres(3), 5);
  EXPECT_EQ(s->pdbress(3), 2);
}

TEST_F(Reader, TextInANumberFieldIsAReadErrorWithTheLine) {
  std::string t = lines({1, 2, 3});
  std::string bad = atom_line(4, " CA ", "ALA", 4, 1, 2, 3);
  bad.replace(38, 8, "  abc.de");
  try {
    read(t + bad + "\n" + lines({5, 6, 7, 8, 9, 10}));
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("in.pdb:4: column 39: expected F8.3"), std::string::npos)
        << e.what();
  }
}

TEST_F(Reader, CarriageReturnsAndLongLinesAreHarmless) {
  std::string t;
  for (int k = 1; k <= 10; ++k)
    t += atom_line(k, " CA ", "GLY", k, 1, 2, 3) + std::string(60, 'x') + "\r\n";
  read(t);
  EXPECT_EQ(s->npdb, 10);
  EXPECT_FLOAT_EQ(s->zz0(10), 3.0f);
}

TEST_F(Reader, TemplateStoresCalphaByResidueNumber) {
  s->nres = 3;
  std::string t = atom_line(1, " N  ", "ALA", 1, 9, 9, 9) + "\n" +
                  atom_line(2, " CA ", "ALA", 1, 1, 2, 3) + "\n" +
                  atom_line(3, " CA ", "ALA", 3, 4, 5, 6) + "\n" +
                  atom_line(4, " CA ", "ALA", 7, 7, 7, 7) + "\n" +  // beyond nres: ignored
                  atom_line(5, " CA ", "ALA", 3, 8, 8, 8) + "\n";
  test::write_file(dir.file("t.pdb"), t);
  s->tmplfile = dir.file("t.pdb");
  testing::internal::CaptureStdout();
  read_template(*s);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(s->itempl, 1);
  EXPECT_FLOAT_EQ(s->bbkxx(1), 1.0f);
  EXPECT_FLOAT_EQ(s->bbkzz(3), 8.0f);  // the later record of a residue overwrites
  EXPECT_EQ(s->tmplres(2), 0);
  EXPECT_EQ(s->tmplres(3), 1);
  EXPECT_NE(out.find("ignored: 1"), std::string::npos) << out;

  s->tmplfile = dir.file("missing.pdb");
  testing::internal::CaptureStdout();
  read_template(*s);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " WARNING!!! No template used\n");
  EXPECT_EQ(s->itempl, 0);
}

}  // namespace
}  // namespace vorb
