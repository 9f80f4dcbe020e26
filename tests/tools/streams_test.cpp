// Standard input and output as the tools' files, pipes, and outputs refused before any work.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "outputs.hpp"
#include "support/test_support.hpp"

namespace vorb::test {
namespace {

namespace fs = std::filesystem;
const std::string kTools = std::string("'") + VORB_TOOLS_BIN + "'";
std::string example(const std::string& name) { return "'" + std::string(VORB_SOURCE_DIR) + "/examples/" + name + "'"; }
int atom_lines(const std::string& text) {
  int n = 0;
  for (std::size_t p = text.find("\nATOM"); p != std::string::npos; p = text.find("\nATOM", p + 1)) ++n;
  return n;
}

// Standard input (PDB, gzipped mmCIF) and a pipe give prep the same chain as the file does.
TEST(Streams, StandardInputAndPipesReadEveryFormat) {
  TempDir d;
  ASSERT_EQ(run_tools(d.path(), "prep " + example("1ubi_a.pdb") + " -o ref").status, 0);
  for (const std::string& cmd :
       {kTools + " prep - -o a < " + example("1ubi_a.pdb"),
        "gzip -c " + example("1ubi_a.cif") + " | " + kTools + " prep - -o b",
        "bash -c \"" + kTools + " prep <(gzip -c " + example("1ubi_a.pdb") + ") -o c\""}) {
    RunResult r = run_in(d.path(), cmd);
    ASSERT_EQ(r.status, 0) << cmd << "\n" << r.err;
  }
  for (const char* dir : {"a", "b", "c"})
    EXPECT_EQ(read_file(d.file(std::string(dir) + "/input.pdb")), read_file(d.file("ref/input.pdb"))) << dir;
  RunResult cut = run_in(d.path(), "gzip -c " + example("1ubi_a.pdb") + " | head -c 2000 | " + kTools + " prep - -o e");
  EXPECT_EQ(cut.status, 2);
  EXPECT_NE(cut.err.find("-: cannot gunzip"), std::string::npos) << cut.err;
  for (const char* cmd : {"prep . -o h", "score . .", "ca-trace . t.pdb", "export . -o m.pdb"}) {
    RunResult r = run_tools(d.path(), cmd);
    EXPECT_EQ(r.status, 2) << cmd;
    EXPECT_NE(r.err.find(".: is a directory"), std::string::npos) << cmd << ": " << r.err;
  }
}

// "-o -": the model alone on standard output, VORB's and rebuild's messages on the error stream.
TEST(Streams, DashOutputHoldsTheModelAlone) {
  TempDir d;
  RunResult r = run_tools(d.path(), "rebuild " + example("1ubi_a.pdb") + " --ca --workdir w -o -");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("HEADER", 0), 0u) << r.out.substr(0, 200);
  EXPECT_EQ(r.out.rfind("\nEND "), r.out.size() - 82);
  EXPECT_EQ(atom_lines(r.out), 602);
  EXPECT_NE(r.err.find("running "), std::string::npos);
  EXPECT_FALSE(fs::exists(d.path() / "-"));
  RunResult e = run_in(d.path(), kTools + " export - --map w/residues.tsv -o - < w/input.pdb.h");
  EXPECT_EQ(atom_lines(e.out), 602) << e.err;
}

// rebuild refuses an output it cannot write before it runs anything and leaves nothing behind;
// a FIFO passes unopened.
TEST(Streams, UnwritableOutputsAreRefusedFirst) {
  TempDir d;
  fs::create_directory(d.path() / "dir");
  ASSERT_EQ(::mkfifo(d.file("fifo").c_str(), 0600), 0);
  fs::create_symlink("dir", d.path() / "to_dir");
  for (const std::string& out : {std::string("dir"), std::string("to_dir"), std::string(300, 'a'), std::string("no/x.pdb")}) {
    RunResult r = run_tools(d.path(), "rebuild " + example("1ubi_a.pdb") + " --ca -o " + out);
    EXPECT_EQ(r.status, 2) << out;
    EXPECT_EQ(r.out, "") << out;
    EXPECT_EQ(r.err.find("vorb-tools rebuild: " + out.substr(0, 20)), 0u) << r.err;
  }
  EXPECT_NO_THROW(tools::check_output_writable(d.file("fifo")));  // opening it would wait
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path()), {}), 3);
}

}  // namespace
}  // namespace vorb::test
