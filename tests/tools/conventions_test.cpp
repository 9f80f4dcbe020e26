// Conventions of the command lines: --help everywhere, one version for the program and tools.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace vorb::test {
namespace {

TEST(Conventions, HelpOnEveryCommandExitsZero) {
  TempDir d;
  for (const char* cmd : {"hdd", "tables", "bbdat", "bbdat --rebuild", "ca-trace", "score", "prep",
                          "export", "rebuild"}) {
    RunResult r = run_tools(d.path(), std::string(cmd) + " --help");
    EXPECT_EQ(r.status, 0) << cmd << ": " << r.err;
    EXPECT_NE(r.out.find("usage: vorb-tools " + std::string(cmd)), std::string::npos) << cmd << ": " << r.out;
  }
}

// The tools print the version the program's binary carries; the program's own command line
// keeps its fixed meaning: one argument is too few, so --version gets the usage text.
TEST(Conventions, OneVersionForTheProgramAndTheTools) {
  TempDir d;
  RunResult v = run_tools(d.path(), "--version");
  ASSERT_EQ(v.status, 0);
  ASSERT_EQ(v.out.rfind("vorb-tools ", 0), 0u) << v.out;
  const std::string version = v.out.substr(11, v.out.size() - 12);
  EXPECT_FALSE(version.empty());
  EXPECT_NE(read_file(VORB_BIN).find("VORB version " + version + '\0'), std::string::npos);
  RunResult p = run_vorb(d.path(), "--version");
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out.rfind(" USING Guide::\n", 0), 0u) << p.out;
}

}  // namespace
}  // namespace vorb::test
