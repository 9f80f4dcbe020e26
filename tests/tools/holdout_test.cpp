#include "holdout.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const std::vector<std::string>& paths) {
  std::vector<std::string> n;
  for (const std::string& p : paths) n.push_back(fs::path(p).filename().string());
  return n;
}

TEST(Holdout, EveryTenthFileByNameFromTheTenthOn) {
  test::TempDir dir;
  // 25 chains created in reverse order; the split sorts by file name, not by creation or path.
  for (int k = 24; k >= 0; --k) {
    char name[16];
    std::snprintf(name, sizeof name, "c%02d.pdb", k);
    test::write_file(dir.file(name), "END\n");
  }
  // Neither files of another kind nor directories are chains.
  test::write_file(dir.file("c05.pdb.gz"), "");
  test::write_file(dir.file("notes.txt"), "");
  fs::create_directory(dir.file("c00a.pdb"));

  Split s = split_directory(dir.path().string());
  EXPECT_EQ(names(s.heldout), (std::vector<std::string>{"c09.pdb", "c19.pdb"}));
  ASSERT_EQ(s.train.size(), 23u);
  EXPECT_EQ(names(s.train).front(), "c00.pdb");
  EXPECT_EQ(names(s.train)[9], "c10.pdb");
  EXPECT_EQ(names(s.train).back(), "c24.pdb");
  for (std::size_t k = 1; k < s.train.size(); ++k) EXPECT_LT(s.train[k - 1], s.train[k]);
  EXPECT_EQ(fs::path(s.heldout[0]).parent_path(), dir.path());

  for (std::size_t i : {0u, 8u, 10u, 18u, 20u}) EXPECT_FALSE(is_held_out(i)) << i;
  for (std::size_t i : {9u, 19u, 29u, 359u}) EXPECT_TRUE(is_held_out(i)) << i;
}

TEST(Holdout, SharedTrainingSetSplitsIntoTheDocumentedParts) {
  std::string shared = test::shared_dir();
  if (shared.empty()) GTEST_SKIP() << "no shared structures";
  Split s = split_directory(shared + "/structures/train");
  EXPECT_EQ(s.train.size(), 322u);
  EXPECT_EQ(s.heldout.size(), 35u);
}

}  // namespace
}  // namespace vorb::tools
