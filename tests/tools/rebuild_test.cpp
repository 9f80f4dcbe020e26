#include "rebuild.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "export.hpp"
#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tools;
using test::TempDir;

std::string q(const std::string& path) { return "'" + path + "'"; }
std::string source(const std::string& rel) { return std::string(VORB_SOURCE_DIR) + "/" + rel; }

// Atom name, residue name and number, coordinates: what two models must share to be the same.
std::vector<std::string> atoms_of(const std::string& path) {
  std::vector<std::string> out;
  for (const ModelAtom& a : read_model(path))
    out.push_back(a.name4 + a.res3 + std::to_string(a.resnum) + " " + std::to_string(a.x) + " " +
                  std::to_string(a.y) + " " + std::to_string(a.z));
  return out;
}

// The main job of the README (C-alpha trace, topology, VORB 23) and rebuild --ca
// --side-chains rules on the example give the same model, rebuild's in the input's frame: every
// C-alpha atom where the input has it. The default packs its side chains on the same backbone.
TEST(Rebuild, ExampleGivesTheModelOfTheMainJob) {
  TempDir d;
  const std::string native = source("examples/1ubi_a.pdb");
  ASSERT_EQ(run_tools(d.path(), "ca-trace " + q(native) + " ubi_ca.pdb").status, 0);
  ASSERT_EQ(run_tools(d.path(), "hdd ubi_ca.pdb -o Hdd").status, 0);
  ASSERT_EQ(test::run_vorb(d.path(), "23 ubi_ca.pdb " + q(source("data/BBdat"))).status, 0);

  test::RunResult r =
      run_tools(d.path(), "rebuild " + q(native) + " --ca --side-chains rules -o model.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("model written to model.pdb"), std::string::npos) << r.out;
  std::vector<ModelAtom> main_job = read_model(d.file("ubi_ca.pdb.h"));
  const std::vector<ModelAtom> trace = read_model(d.file("ubi_ca.pdb"));
  int matched = 0;
  shift_atoms(main_job, frame_offset(main_job, trace, matched));
  const std::vector<ModelAtom> model = read_model(d.file("model.pdb"));
  ASSERT_EQ(model.size(), main_job.size());
  EXPECT_EQ(model.size(), 602u);
  for (std::size_t k = 0; k < model.size(); ++k) {
    EXPECT_EQ(model[k].name4 + model[k].res3, main_job[k].name4 + main_job[k].res3);
    EXPECT_NEAR(model[k].x, main_job[k].x, 1e-6);
    EXPECT_NEAR(model[k].z, main_job[k].z, 1e-6);
  }
  // export finds the input beside the model (ubi_ca.pdb for ubi_ca.pdb.h) and gives the same.
  ASSERT_EQ(run_tools(d.path(), "export ubi_ca.pdb.h -o e.pdb").status, 0);
  EXPECT_EQ(atoms_of(d.file("e.pdb")), atoms_of(d.file("model.pdb")));
  ASSERT_EQ(run_tools(d.path(), "export ubi_ca.pdb.h --lattice-frame -o l.pdb").status, 0);
  EXPECT_EQ(atoms_of(d.file("l.pdb")), atoms_of(d.file("ubi_ca.pdb.h")));
  for (const ModelAtom& ca : trace) {
    const ModelAtom& m = model[std::size_t(std::find_if(model.begin(), model.end(), [&](const ModelAtom& a) {
                                             return a.name4 == " CA " && a.resnum == ca.resnum;
                                           }) - model.begin())];
    EXPECT_NEAR(m.x, ca.x, 1.5e-3);
    EXPECT_NEAR(m.y, ca.y, 1.5e-3);
    EXPECT_NEAR(m.z, ca.z, 1.5e-3);
  }


  r = run_tools(d.path(), "rebuild " + q(native) + " --ca -o packed.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<ModelAtom> rules = read_model(d.file("model.pdb"));
  const std::vector<ModelAtom> packed = read_model(d.file("packed.pdb"));
  ASSERT_EQ(packed.size(), rules.size());
  int moved = 0;
  for (std::size_t k = 0; k < rules.size(); ++k) {
    const ModelAtom &a = rules[k], &b = packed[k];
    EXPECT_EQ(a.name4 + a.res3 + std::to_string(a.resnum), b.name4 + b.res3 + std::to_string(b.resnum));
    const bool same = a.x == b.x && a.y == b.y && a.z == b.z;
    if (a.name4 == " N  " || a.name4 == " CA " || a.name4 == " C  " || a.name4 == " O  " ||
        a.name4 == " CB " || a.name4 == " OXT")
      EXPECT_TRUE(same) << a.name4 << a.resnum;
    else
      moved += !same;
  }
  EXPECT_GT(moved, 100);
}

// A kept working directory holds the program's files; a template is numbered like the model.
TEST(Rebuild, RefinementWithATemplateInAKeptDirectory) {
  TempDir d;
  const std::string native = source("examples/1ubi_a.pdb");
  test::RunResult r = run_tools(d.path(), "rebuild " + q(native) + " --ca --mode 3 --template " +
                                              q(native) + " --workdir w -o model.cif");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("template " + native + ": 76 C-alpha atom(s) matched"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("No template used"), std::string::npos) << r.out;
  for (const char* f : {"input.pdb", "Hdd", "residues.tsv", "template.pdb", "input.pdb.fix", "input.pdb.h"})
    EXPECT_TRUE(fs::exists(d.file(std::string("w/") + f))) << f;
  EXPECT_NE(read_file(d.file("model.cif")).find("_atom_site.auth_seq_id"), std::string::npos);
}

// The refinement modes take the input's own trace as the template unless told otherwise.
TEST(Rebuild, RefinementDefaultsToTheInputTraceAsTemplate) {
  TempDir d;
  const std::string native = source("examples/1ubi_a.pdb");
  test::RunResult r = run_tools(d.path(), "rebuild " + q(native) + " --ca --mode 31 --workdir w -o a.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("template: the input's own 76 C-alpha atom(s)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" input.pdb " + fs::absolute(source("data/BBdat")).lexically_normal().string() +
                       " template.pdb"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("No template used"), std::string::npos) << r.out;
  // Same C-alpha coordinates as the prepared input, residue for residue.
  std::vector<std::string> in, tm;
  for (const std::string& f : {std::string("w/input.pdb"), std::string("w/template.pdb")}) {
    std::string text = read_file(d.file(f));
    std::vector<std::string>& dst = f == "w/input.pdb" ? in : tm;
    for (std::size_t p = 0; p < text.size();) {
      std::size_t e = text.find('\n', p);
      std::string l = text.substr(p, e - p);
      if (l.rfind("ATOM", 0) == 0 && l.substr(12, 4) == " CA ") dst.push_back(l.substr(17, 3) + l.substr(22, 32));
      p = e + 1;
    }
  }
  EXPECT_EQ(in.size(), 76u);
  EXPECT_EQ(in, tm);

  r = run_tools(d.path(), "rebuild " + q(native) + " --ca --mode 31 --no-template --workdir v -o b.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(d.file("v/template.pdb")));
  EXPECT_NE(r.out.find("No template used"), std::string::npos) << r.out;

  r = run_tools(d.path(), "rebuild " + q(native) + " --ca --mode 23 --workdir u -o c.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(d.file("u/template.pdb")));

  r = run_tools(d.path(), "rebuild " + q(native) + " --mode 3 --no-template --template " + q(native) +
                              " -o e.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("exclude each other"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(d.file("e.pdb")));
}

TEST(Rebuild, TemplateResiduesTakeTheModelNumbers) {
  Prepared model = prepare_structure(test::data_path("pipeline/two_chains.pdb"), [] {
    PrepOptions o;
    o.chain = "B";
    return o;
  }());
  Prepared templ = model;
  templ.res.erase(templ.res.begin());  // no residue 10
  templ.res[2].icode = ' ';            // 12A becomes a second 12: only the first one matches
  int matched = 0;
  std::vector<std::string> lines = template_lines(model, templ, matched);
  EXPECT_EQ(matched, 3);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(12, 14), " CA  GLN     2");
  EXPECT_EQ(lines[1].substr(12, 14), " CA  ILE     3");
  EXPECT_EQ(lines[2].substr(12, 14), " CA  LYS     5");
  for (PrepResidue& r : templ.res) r.num += 1000;
  EXPECT_THROW(template_lines(model, templ, matched), InputError);
}

// A library VORB cannot read is rejected before any run (status 2); VORB's stop without a model
// gives status 1 (never 0); the output is not written in either case.
TEST(Rebuild, FailuresOfTheProgramAreNotReportedAsSuccess) {
  TempDir d;
  const std::string native = source("examples/1ubi_a.pdb");
  fs::create_directories(d.file("data/tables"));
  for (const char* f : {"geometry.txt", "hbond.txt", "rama.txt"})
    fs::copy_file(source(std::string("data/tables/") + f), d.file(std::string("data/tables/") + f));
  fs::copy_file(source("data/rotamers"), d.file("data/rotamers"));
  test::write_file(d.file("data/BBdat"), "not a library\n");
  test::RunResult r = run_tools(d.path(), "rebuild " + q(native) + " --ca --data data -o a.pdb");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_NE(r.err.find("BBdat"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("expected four integers"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(d.file("a.pdb")));

  // One residue 700 A away: wider than the program's lattice, which stops the run.
  std::string text = read_file(native), far;
  std::size_t at = text.find("ATOM    599");
  ASSERT_NE(at, std::string::npos);
  far = text.substr(0, at);
  for (std::size_t p = at; p < text.size();) {
    std::size_t e = text.find('\n', p);
    std::string l = text.substr(p, e - p);
    if (l.rfind("ATOM", 0) == 0) l.replace(30, 8, " 700.000");
    far += l + "\n";
    p = e + 1;
  }
  test::write_file(d.file("far.pdb"), far);
  r = run_tools(d.path(), "rebuild far.pdb -o b.pdb");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("STOP one of the protein length exceed simulation lattice"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("VORB ended without writing a model"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(d.file("b.pdb")));
}

TEST(Rebuild, BadArgumentsWriteNothing) {
  TempDir d;
  const std::string native = source("examples/1ubi_a.pdb");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--mode 5 -o a.pdb", "--mode 5: not one of"},
      {"-o nowhere/a.pdb", "does not exist"},
      {"--chain Z -o a.pdb", "no chain \"Z\""},
      {"--template " + q(test::data_path("pipeline/no_protein.cif")) + " -o a.pdb", "no protein chain"},
  };
  for (const auto& [args, message] : cases) {
    test::RunResult r = run_tools(d.path(), "rebuild " + q(native) + " --workdir w " + args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find(message), std::string::npos) << args << ": " << r.err;
    EXPECT_FALSE(fs::exists(d.file("w"))) << args;
    EXPECT_FALSE(fs::exists(d.file("a.pdb"))) << args;
  }
}

// An installed tree, moved after installation, still finds its data.
TEST(Rebuild, InstalledTreeFindsItsProgramAndData) {
  TempDir d;
  const std::string build = fs::path(VORB_BIN).parent_path().string();
  test::RunResult i = test::run_in(d.path(), "cmake --install " + q(build) + " --prefix inst");
  ASSERT_EQ(i.status, 0) << i.err;
  for (const char* f : {"inst/bin/VORB", "inst/bin/vorb-tools", "inst/share/vorb/BBdat",
                        "inst/share/vorb/tables/geometry.txt", "inst/share/vorb/workflows/Snakefile"})
    EXPECT_TRUE(fs::exists(d.file(f))) << f;
  fs::rename(d.file("inst"), d.file("moved"));
  const std::string moved = fs::canonical(d.file("moved")).string();
  test::RunResult r = test::run_in(d.path(), q(moved + "/bin/vorb-tools") + " rebuild " +
                                                 q(source("examples/1ubi_a.pdb")) + " --ca -o m.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("running VORB 23 input.pdb " + moved + "/share/vorb/BBdat"),
            std::string::npos)
      << r.out;
#ifdef VORB_PYTHON
  // The Python module, installed beside them, finds the same data.
  test::RunResult p = test::run_in(d.path(), "PYTHONPATH=" + q(moved + "/lib/python3/dist-packages") + " " +
                                                 VORB_PYTHON + " -c 'import vorb; print(vorb.data_dir())'");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, moved + "/share/vorb\n");
#endif
}

// The batch workflow over a folder: one model per input, one working directory per model; the
// same chain in two formats gives the same model.
TEST(Rebuild, SnakemakeWorkflowOverAFolder) {
  if (std::system("command -v snakemake >/dev/null 2>&1") != 0) GTEST_SKIP() << "no snakemake";
  TempDir d;
  fs::create_directories(d.file("in"));
  fs::copy_file(source("examples/1ubi_a.pdb"), d.file("in/ubi_p.pdb"));
  fs::copy_file(source("examples/1ubi_a.cif"), d.file("in/ubi_c.cif"));
  test::write_file(d.file("in/notes.txt"), "not an input\n");
  test::RunResult r = test::run_in(
      d.path(), "snakemake -s " + q(source("workflows/Snakefile")) +
                    " --cores 1 --quiet --config inputs=in extra=--ca tools=" + q(VORB_TOOLS_BIN));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (const char* f : {"models/ubi_p.pdb", "models/ubi_c.pdb", "models/logs/ubi_p.log",
                        "work/ubi_p/input.pdb.h", "work/ubi_c/Hdd"})
    EXPECT_TRUE(fs::exists(d.file(f))) << f;
  EXPECT_EQ(atoms_of(d.file("models/ubi_p.pdb")), atoms_of(d.file("models/ubi_c.pdb")));
  EXPECT_EQ(atoms_of(d.file("models/ubi_p.pdb")).size(), 602u);
  EXPECT_FALSE(fs::exists(d.file("models/notes.pdb")));
}

}  // namespace
}  // namespace vorb::tools
