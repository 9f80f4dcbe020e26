#include "driver/run.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace vorb {
namespace {

const char* const kUsageText =
    " USING Guide::\n"
    " ./VORB 1  xx.pdb (ADD H only, check xx.pdb.h)\n"
    " ./VORB 2  xx.pdb BBdat (ADD backbone, CA fixed, one output xx.pdb.h, HB opt)\n"
    " ./VORB 23 xx.pdb BBdat ( keep other part fixed,ADD backbone and H xx.pdb.h,fast)\n"
    " ./VORB 3  xx.pdb BBdat [template] (same as 2, add template, CA flexible,out xx.pdb.fix and "
    "xx.pdb.h)\n"
    " ./VORB 31 xx.pdb BBdat [template] (based on Hdd, build missing CA, and then same as 3)\n"
    " ./VORB 4  xx.pdb BBdat [template] (same as 3, max template restraints)\n"
    " ./VORB 5  xx.pdb (Hbond list (on screen) and chi1 file phi/psi/chi1/chi2 list)\n"
    " ./VORB 6  xx.pdb (ADD H and count H-bond,mkrestraints:  PRHB2 HBlist)\n"
    "                  (input: seq.dat, PRHB, xx.pdb; output: PRHB2)\n"
    " ./VORB 66  xx.pdb (same as 6, but use Hbondlist from current structure only)\n"
    " ./VORB 7   xx.pdb (chi1 and chi2 only, without set as 0)\n"
    " ./VORB 8   xx.pdb (output seq0.dat based on phi/psi)\n";

TEST(Cli, UsageWithoutAStructureName) {
  test::TempDir dir;
  for (const char* args : {"", "7", "7 x", "7 'x  '"}) {
    test::RunResult r = test::run_vorb(dir.path(), args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_EQ(r.out, kUsageText) << args;
    EXPECT_EQ(r.err, "");
  }
}

TEST(Cli, ReadErrorsExitTwoWithOneLine) {
  test::TempDir dir;
  test::write_file(dir.file("p.pdb"), test::read_file(test::data_path("io/peptide.pdb")));
  test::RunResult r = test::run_vorb(dir.path(), "7 p.pdb");  // no Hdd here
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Hdd: cannot open topology file\n");
  test::write_file(dir.file("Hdd"), "20 90\n");
  r = test::run_vorb(dir.path(), "7 p.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Hdd:2: file ends before its header\n");
}

TEST(Cli, TooFewAtomsEndsNormally) {
  test::TempDir dir;
  test::RunResult r = test::run_vorb(dir.path(), "7 none.pdb");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, " read pdb file err, total atoms 0\n");
}

TEST(Cli, LongPathsAreNotCut) {
  test::TempDir dir;
  std::string sub(150, 'd');
  std::filesystem::create_directory(dir.path() / sub);
  std::string name = sub + "/" + std::string(40, 'p') + ".pdb";
  test::write_file(dir.file(name), test::read_file(test::data_path("io/peptide.pdb")));
  test::write_file(dir.file("Hdd"), test::read_file(test::data_path("io/peptide.Hdd")));
  test::RunResult r = test::run_vorb(dir.path(), "7 " + name);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("read pdb file err"), std::string::npos) << r.out;

  // An output named after a 253-character input is 255 characters long, the longest name a
  // directory entry holds: it is still written, and nothing else is left beside it.
  std::string longest = sub + "/" + std::string(249, 'q') + ".pdb";
  test::write_file(dir.file(longest), test::read_file(test::data_path("io/peptide.pdb")));
  r = test::run_vorb(dir.path(), "1 " + longest);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.path() / (longest + ".h")));
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path() / sub)) ++entries;
  EXPECT_EQ(entries, 3);
}

}  // namespace
}  // namespace vorb
