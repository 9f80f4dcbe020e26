#include "driver/run.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "io/aux_read.hpp"

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


// A run on a file set in memory writes what the program writes in a directory, messages too,
// touches no file, shares one library between runs, and runs on several threads at once.
TEST(InMemory, SameFilesAndMessagesAsInADirectory) {
  namespace fs = std::filesystem;
  test::TempDir d;
  const std::string src = VORB_SOURCE_DIR;
  ASSERT_EQ(test::run_tools(d.path(), "prep " + src + "/examples/1ubi_a.pdb --ca -o w").status, 0);
  const std::string bbdat = src + "/data/BBdat";
  FileSet inputs;
  for (const char* f : {"input.pdb", "Hdd"}) inputs.files[f] = test::read_file(d.file(std::string("w/") + f));
  inputs.libraries[bbdat] = read_shared_library(bbdat);
  for (const char* mode : {"23", "3"}) {
    test::RunResult disk = test::run_vorb(d.file("w"), std::string(mode) + " input.pdb " + bbdat);
    ASSERT_EQ(disk.status, 0) << disk.err;
    const auto before = std::distance(fs::directory_iterator(d.file("w")), fs::directory_iterator());
    FileSet set;
    set.files = inputs.files;
    set.libraries = inputs.libraries;
    EXPECT_EQ(run_in_memory(set, {mode, "input.pdb", bbdat}), 0) << set.err.str();
    EXPECT_EQ(set.out.str(), disk.out) << mode;
    EXPECT_EQ(set.err.str(), disk.err) << mode;
    for (const char* out : {"input.pdb.h", "input.pdb.fix"}) {
      ASSERT_EQ(set.files.count(out), fs::exists(d.file(std::string("w/") + out)) ? 1u : 0u) << out;
      if (set.files.count(out)) {
        EXPECT_TRUE(set.files[out] == test::read_file(d.file(std::string("w/") + out))) << mode << out;
      }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(d.file("w")), fs::directory_iterator()), before);
    fs::remove(d.file("w/input.pdb.h"));
    fs::remove(d.file("w/input.pdb.fix"));
  }
  // Four threads at once, each with its own set: the same model as one run alone.
  std::string alone;
  {
    FileSet set;
    set.files = inputs.files;
    set.libraries = inputs.libraries;
    ASSERT_EQ(run_in_memory(set, {"3", "input.pdb", bbdat}), 0);
    alone = set.files["input.pdb.h"];
  }
  std::vector<std::string> got(4);
  std::vector<std::thread> threads;
  for (std::size_t k = 0; k < got.size(); ++k)
    threads.emplace_back([&, k] {
      FileSet set;
      set.files = inputs.files;
      set.libraries = inputs.libraries;
      if (run_in_memory(set, {"3", "input.pdb", bbdat}) == 0) got[k] = set.files["input.pdb.h"];
    });
  for (std::thread& t : threads) t.join();
  for (const std::string& g : got) EXPECT_TRUE(g == alone);
  // A file the set lacks is missing, as in an empty directory: the error goes to the set.
  FileSet empty;
  empty.files["input.pdb"] = inputs.files["input.pdb"];
  EXPECT_EQ(run_in_memory(empty, {"23", "input.pdb", bbdat}), 2);
  EXPECT_EQ(empty.err.str(), "Hdd: cannot open topology file\n");
  EXPECT_EQ(empty.out.str(), "");
}

}  // namespace
}  // namespace vorb
