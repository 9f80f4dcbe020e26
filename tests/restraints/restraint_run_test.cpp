#include "driver/restraint_run.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "holdout.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines_of(const std::string& t) {
  std::vector<std::string> v;
  std::istringstream in(t);
  std::string l;
  while (std::getline(in, l)) v.push_back(l);
  return v;
}

// Every line in the 24-column layout, running numbers 1, 2, ... (modes "6"), or increasing.
void expect_prhb2_layout(const std::string& text, bool consecutive) {
  int prev = 0;
  for (const std::string& l : lines_of(text)) {
    ASSERT_EQ(l.size(), 24u) << l;
    EXPECT_EQ(l.substr(3, 2), " N") << l;
    EXPECT_EQ(l.substr(9, 2), " O") << l;
    int num = std::stoi(l.substr(0, 3));
    int rd = std::stoi(l.substr(5, 4)), ra = std::stoi(l.substr(11, 4));
    int type = std::stoi(l.substr(15, 3));
    EXPECT_GT(std::abs(rd - ra), 1) << l;
    EXPECT_TRUE(type >= 0 && type <= 3) << l;
    if (consecutive)
      EXPECT_EQ(num, prev + 1) << l;
    else
      EXPECT_GT(num, prev) << l;
    prev = num;
  }
}

class RestraintRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string shared = test::shared_dir();
    if (shared.empty()) GTEST_SKIP() << "no shared structures";
    auto split = tools::split_directory(shared + "/structures/train");
    ASSERT_FALSE(split.heldout.empty());
    test::RunResult r =
        test::run_tools(dir_.path(), "hdd '" + split.heldout.front() + "' -o Hdd --renumbered m.pdb");
    ASSERT_EQ(r.status, 0) << r.err;
  }
  test::RunResult vorb(const std::string& args) { return test::run_vorb(dir_.path(), args); }
  std::string file(const std::string& name) { return test::read_file(dir_.file(name)); }

  test::TempDir dir_;
};

TEST_F(RestraintRun, ModeSixWritesAListThatReadsBackUnchanged) {
  // Without seq.dat the torsion codes alone decide.
  test::RunResult r = vorb("6 m.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(" begin to write PRHB2 ", 0), 0u) << r.out;
  expect_prhb2_layout(file("PRHB2"), true);

  ASSERT_EQ(vorb("8 m.pdb").status, 0);
  fs::copy_file(dir_.file("seq0.dat"), dir_.file("seq.dat"));
  r = vorb("6 m.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string first = file("PRHB2");
  ASSERT_FALSE(first.empty());
  expect_prhb2_layout(first, true);
  int listed = std::stoi(r.out.substr(r.out.rfind(' ')));
  EXPECT_EQ(int(lines_of(first).size()), listed);  // backbone bonds span at least 2 residues

  // Fed back as PRHB, the list adds nothing the model does not already have.
  fs::copy_file(dir_.file("PRHB2"), dir_.file("PRHB"));
  r = vorb("6 m.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " begin to write PRHB2 " + std::to_string(listed) + "\n");
  EXPECT_EQ(file("PRHB2"), first);

  // Mode "66" lists the model's own bonds, whatever PRHB holds.
  r = vorb("66 m.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string own = file("PRHB2");
  EXPECT_FALSE(own.empty());
  expect_prhb2_layout(own, false);
}

}  // namespace
}  // namespace vorb
