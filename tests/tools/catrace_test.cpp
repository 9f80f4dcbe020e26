#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace vorb::test {
namespace {

// gaps.pdb: ALA 5 (with a B copy of its CA), GLY 6 (CA as the A copy), SER 6A without a CA,
// LYS 8, a HETATM, then TER and a residue of chain A after it (read as prep reads it: chain A
// goes on after the TER).
TEST(CaTrace, WritesOneCalphaPerResidueNumberedByPosition) {
  TempDir d;
  RunResult r = run_tools(d.path(), "ca-trace '" + data_path("sidechains/gaps.pdb") + "' trace.pdb");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("1 residue(s) without a CA"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(d.file("trace.pdb")),
            "ATOM      1  CA  ALA A   1       2.000   2.500   3.000  1.00  0.00           C\n"
            "ATOM      2  CA  GLY A   2       5.000   2.500   3.000  1.00  0.00           C\n"
            "ATOM      3  CA  LYS A   4       9.125  -2.500  13.000  1.00  0.00           C\n"
            "ATOM      4  CA  TRP A   5      20.000  20.000  20.000  1.00  0.00           C\n"
            "TER\n"
            "END\n");
}

TEST(CaTrace, RejectsBadArgumentsAndUnreadableInput) {
  TempDir d;
  EXPECT_EQ(run_tools(d.path(), "ca-trace only-one.pdb").status, 2);
  RunResult r = run_tools(d.path(), "ca-trace missing.pdb out.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.pdb"), std::string::npos) << r.err;
  write_file(d.file("empty.pdb"), "HEADER\nEND\n");
  EXPECT_EQ(run_tools(d.path(), "ca-trace empty.pdb out.pdb").status, 2);
  EXPECT_FALSE(std::filesystem::exists(d.file("out.pdb")));
}

}  // namespace
}  // namespace vorb::test
