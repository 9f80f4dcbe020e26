// Standard input and output as the tools' files, pipes, and outputs refused before any work.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "model/errors.hpp"
#include "outputs.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tools;
using test::RunResult;
using test::TempDir;

std::string source(const std::string& rel) { return "'" + std::string(VORB_SOURCE_DIR) + "/" + rel + "'"; }
int atom_lines(const std::string& text) {
  int n = 0;
  for (std::size_t p = text.find("ATOM"); p != std::string::npos; p = text.find("\nATOM", p + 1)) ++n;
  return n;
}

// Every format reaches prep through standard input and through a pipe alike: the same files.
TEST(Streams, StandardInputAndPipesReadEveryFormat) {
  TempDir d;
  ASSERT_EQ(run_tools(d.path(), "prep " + source("examples/1ubi_a.pdb") + " -o ref").status, 0);
  const std::string want = read_file(d.file("ref/input.pdb"));
  const char* feeds[] = {
      "prep - -o a < " , "prep - -o b < ", "prep /dev/stdin -o c < ",
  };
  const std::string inputs[] = {"1ubi_a.pdb", "1ubi_a.cif", "1ubi_a.cif"};
  for (int k = 0; k < 3; ++k) {
    RunResult r = run_tools(d.path(), feeds[k] + source("examples/" + inputs[k]));
    ASSERT_EQ(r.status, 0) << k << r.err;
  }
  RunResult gz = test::run_in(d.path(), "gzip -c " + source("examples/1ubi_a.cif") + " | '" +
                                            VORB_TOOLS_BIN + "' prep - -o e");
  ASSERT_EQ(gz.status, 0) << gz.err;
  RunResult pipe = test::run_in(d.path(), "bash -c \"'" + std::string(VORB_TOOLS_BIN) +
                                              "' prep <(gzip -c " + source("examples/1ubi_a.pdb") +
                                              ") -o f\"");
  ASSERT_EQ(pipe.status, 0) << pipe.err;
  for (const char* dir : {"a", "b", "c", "e", "f"})
    EXPECT_EQ(read_file(d.file(std::string(dir) + "/input.pdb")), want) << dir;
  // A cut gzip stream and a directory are named as such.
  RunResult cut = test::run_in(d.path(), "gzip -c " + source("examples/1ubi_a.pdb") +
                                             " | head -c 2000 | '" + VORB_TOOLS_BIN + "' prep - -o g");
  EXPECT_EQ(cut.status, 2);
  EXPECT_NE(cut.err.find("-: cannot gunzip"), std::string::npos) << cut.err;
  for (const char* cmd : {"prep . -o h", "score . .", "ca-trace . t.pdb", "export . -o m.pdb"}) {
    RunResult r = run_tools(d.path(), cmd);
    EXPECT_EQ(r.status, 2) << cmd;
    EXPECT_NE(r.err.find(".: is a directory"), std::string::npos) << cmd << ": " << r.err;
  }
}

// "-o -" puts the model alone on standard output: VORB's and rebuild's messages go to the
// error stream. export reads a model from standard input.
TEST(Streams, DashOutputHoldsTheModelAlone) {
  TempDir d;
  RunResult r = test::run_in(d.path(), "'" + std::string(VORB_TOOLS_BIN) + "' rebuild " +
                                           source("examples/1ubi_a.pdb") +
                                           " --ca --workdir w -o -");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("HEADER", 0), 0u) << r.out.substr(0, 200);
  EXPECT_EQ(r.out.rfind("\nEND "), r.out.size() - 82);
  EXPECT_EQ(atom_lines(r.out), 602);
  EXPECT_NE(r.err.find("running "), std::string::npos);
  EXPECT_NE(r.err.find("model written to -"), std::string::npos);
  EXPECT_FALSE(fs::exists(d.path() / "-"));
  RunResult e = test::run_in(d.path(), "'" + std::string(VORB_TOOLS_BIN) +
                                           "' export - --map w/residues.tsv -o - < w/input.pdb.h");
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(atom_lines(e.out), 602);
  RunResult t = test::run_in(d.path(), "'" + std::string(VORB_TOOLS_BIN) + "' ca-trace - - < " +
                                           source("examples/1ubi_a.pdb"));
  ASSERT_EQ(t.status, 0) << t.err;
  EXPECT_EQ(atom_lines(t.out), 76);
}

// rebuild refuses an output it cannot write before anything runs; nothing is left behind.
TEST(Streams, UnwritableOutputsAreRefusedFirst) {
  TempDir d;
  fs::create_directory(d.path() / "dir");
  const std::string long_name(300, 'a');
  for (const std::string& out : {std::string("dir"), long_name + ".pdb", std::string("no/such/x.pdb")}) {
    RunResult r = run_tools(d.path(), "rebuild " + source("examples/1ubi_a.pdb") + " --ca -o " + out);
    EXPECT_EQ(r.status, 2) << out;
    EXPECT_EQ(r.out.find("running"), std::string::npos) << out << ": " << r.out;
    EXPECT_NE(r.err.find(out.substr(0, 20)), std::string::npos) << r.err;
  }
  EXPECT_THROW(check_output_writable(d.file(long_name)), InputError);
  EXPECT_NO_THROW(check_output_writable(d.file("new.pdb")));
  EXPECT_NO_THROW(check_output_writable("-"));
  fs::create_symlink("dir", d.path() / "to_dir");
  EXPECT_THROW(check_output_writable(d.file("to_dir")), InputError);
  if (::geteuid() != 0) {  // permissions do not bind the superuser
    fs::create_directory(d.path() / "ro");
    fs::permissions(d.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(check_output_writable(d.file("ro/x.pdb")), InputError);
    fs::permissions(d.path() / "ro", fs::perms::owner_all);
  }
  ASSERT_EQ(::mkfifo(d.file("fifo").c_str(), 0600), 0);
  EXPECT_NO_THROW(check_output_writable(d.file("fifo")));  // not opened: that would wait
  std::size_t entries = 0;
  for (auto it = fs::directory_iterator(d.path()); it != fs::directory_iterator(); ++it) ++entries;
  EXPECT_EQ(entries, 3u + (::geteuid() != 0));
}

}  // namespace
}  // namespace vorb::tools
