// Inputs larger than a table, rows naming residues the model does not have, and the template:
// rejected, dropped or skipped with a message, never written past. Checked on the readers where
// a whole run would take too long or needs the refinement modes.
#include <gtest/gtest.h>

#include <sstream>

#include "io/aux_read.hpp"
#include "io/ffmt.hpp"
#include "io/pdb_read.hpp"
#include "model/errors.hpp"
#include "robust/robust_support.hpp"

namespace vorb::test {
namespace {

TEST(Capacity, StructureWithMoreAtomRecordsThanTheTable) {
  Workdir wd;
  wd.put("Hdd", generated_hdd(penta_pdb()));
  const std::string line = lines_of(penta_pdb())[0];
  std::string big;
  big.reserve(50001 * 81);
  for (int k = 0; k < 50001; ++k) big += line + '\n';
  wd.put("p.pdb", big);
  expect_refused(wd, wd.run("7 p.pdb"), 2, "p.pdb: more ATOM records than the capacity of 50000");
}

TEST(Capacity, RestraintFileWithMoreRowsThanTheTable) {
  TempDir d;
  std::string rows = "50001\n";
  for (int k = 0; k < 50001; ++k) rows += "1 3 0 5.0 1.0\n";
  write_file(d.file("dist.dat"), rows);
  auto s = make_state();
  s->nres = 5;
  try {
    read_restraints_in(*s, 0.3f, d.path().string());
    FAIL() << "no error";
  } catch (const CapacityError& e) {
    EXPECT_EQ(std::string(e.what()),
              d.file("dist.dat") + ": more restraint rows than the capacity of 50000");
  }
}

TEST(Capacity, TemplateResiduesBeyondTheModelAreIgnoredAndCounted) {
  auto s = make_state();
  s->nres = 3;
  s->tmplfile = "t.pdb";
  std::string t;
  for (int r : {0, 1, 2, -3, 3, 4, 3000, 3001})
    t += "ATOM      1  CA  ALA A" + ffmt::fmt_i(r, 4) + "       1.000   2.000   3.000\n";
  std::istringstream in(t);
  testing::internal::CaptureStdout();
  read_template_stream(*s, &in);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " WARNING!!! template C-alpha records outside the model residues ignored: 5\n");
  EXPECT_EQ(s->itempl, 1);
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(s->tmplres(r), 1) << r;
  EXPECT_FLOAT_EQ(s->bbkyy(3), 2.0f);
  EXPECT_EQ(s->bbkxx(0), 0.0f);
}

TEST(BadStructure, BlankFieldsInACompleteRecordReadZero) {
  auto s = make_state();
  s->mode = Name4::from("23");
  s->pdbfile = "p.pdb";
  std::string t;
  for (int k = 1; k <= 10; ++k)
    t += "ATOM      1  CA  ALA A" + std::string(k == 1 ? "    " : ffmt::fmt_i(k, 4)) +
         std::string(12, ' ') + "   2.000   3.000\n";
  std::istringstream in(t);
  read_structure_stream(*s, in);
  EXPECT_EQ(s->npdb, 10);
  EXPECT_EQ(s->pdbress(1), 0);
  EXPECT_EQ(s->xx0(1), 0.0f);
  EXPECT_EQ(s->yy0(1), 2.0f);
}

// Coordinates so far out that their squares overflow single precision would make every
// refinement energy NaN.
TEST(BadTemplate, FarCoordinatesAreIgnoredAndCounted) {
  auto s = make_state();
  s->nres = 3;
  std::istringstream in(
      "ATOM      1  CA  ALA A   1       1.000   2.000   3.000\n"
      "ATOM      2  CA  ALA A   2     1.0E+30   2.000   3.000\n"
      "ATOM      3  CA  ALA A   3       1.000 1.0E+39   3.000\n");
  testing::internal::CaptureStdout();
  read_template_stream(*s, &in);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " WARNING!!! template C-alpha records with a coordinate beyond 1000000 A ignored: 2\n");
  EXPECT_EQ(s->itempl, 1);
  EXPECT_EQ(s->tmplres(1), 1);
  EXPECT_EQ(s->tmplres(2), 0);
  EXPECT_EQ(s->bbkxx(2), 0.0f);
}

TEST(BadTemplate, MissingOrWithoutCalphaGoesOnWithoutOne) {
  auto s = make_state();
  s->nres = 3;
  const std::string none = " WARNING!!! No template used\n";
  const std::string outside = " WARNING!!! template C-alpha records outside the model residues ignored: ";
  const std::pair<const char*, std::string> cases[] = {
      {nullptr, none},
      {"", none},
      {"ATOM      1  N   ALA A   1       1.000   2.000   3.000\n", none},
      {"ATOM      1  CA  ALA A   0       1.000   2.000   3.000\n", outside + "1\n" + none},
      // the last record read decides, even when an earlier one was stored
      {"ATOM      1  CA  ALA A   2       1.000   2.000   3.000\n"
       "ATOM      2  CA  ALA A  -3       1.000   2.000   3.000\n",
       outside + "1\n" + none},
  };
  for (const auto& [text, expected] : cases) {
    std::istringstream in(text ? text : "");
    testing::internal::CaptureStdout();
    read_template_stream(*s, text ? &in : nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected) << (text ? text : "no file");
    EXPECT_EQ(s->itempl, 0);
  }
  // A directory, or no fourth argument at all.
  TempDir d;
  for (std::string name : {d.path().string(), std::string()}) {
    s->tmplfile = name;
    testing::internal::CaptureStdout();
    read_template(*s);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " WARNING!!! No template used\n");
  }
}

}  // namespace
}  // namespace vorb::test
