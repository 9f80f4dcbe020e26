#include "export.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/errors.hpp"
#include "prep.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tools;
using test::TempDir;

std::string q(const std::string& path) { return "'" + path + "'"; }

TEST(Export, HydrogenNamesFollowTheCurrentConvention) {
  struct Case {
    const char *res, *name4, *want;
  };
  const Case cases[] = {
      {"SER", "1HB ", "HB2"},  {"SER", "2HB ", "HB3"},  {"ALA", "1HB ", "HB1"},
      {"ALA", "3HB ", "HB3"},  {"GLY", "1HA ", "HA2"},  {"GLY", "2HA ", "HA3"},
      {"ILE", "1HG1", "HG12"}, {"ILE", "2HG1", "HG13"}, {"ILE", "3HD1", "HD13"},
      {"ILE", "1HG2", "HG21"}, {"ASN", "1HD2", "HD21"}, {"GLN", "2HE2", "HE22"},
      {"ARG", "2HH1", "HH12"}, {"LYS", "3HZ ", "HZ3"},  {"LYS", "1HE ", "HE2"},
      {"PRO", "2HD ", "HD3"},  {"MET", "3HE ", "HE3"},  {"MET", "1H  ", "H1"},
      {"LEU", " H  ", "H"},    {"LEU", " HG ", "HG"},   {"HIS", " HE2", "HE2"},
      {"THR", " HG1", "HG1"},  {"GLY", " CA ", "CA"},   {"GLY", " OXT", "OXT"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(standard_atom_name(c.res, c.name4), c.want) << c.res << " '" << c.name4 << "'";
}

// 1ubi renumbered to chain U, 101..134, 134A, 135..: the prepared input of a model whose
// original numbering the export has to bring back.
void write_renumbered_ubi(const std::string& path) {
  std::string text = read_file(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb");
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string l = text.substr(start, end - start);
    start = end + 1;
    if (l.rfind("ATOM", 0) == 0) {
      int n = std::atoi(l.substr(22, 4).c_str());
      int m = n < 35 ? n + 100 : n == 35 ? 134 : n + 99;
      std::string num = std::to_string(m);
      l.replace(21, 6, "U " + num + (n == 35 ? "A" : " "));
    }
    out += l + "\n";
  }
  test::write_file(path, out);
}

bool have_mkdssp() { return std::system("command -v mkdssp >/dev/null 2>&1") == 0; }

// The models of a completion run (mode 23) and of a refinement (mode 3), exported as PDB and
// mmCIF: gemmi reads them back with the original chain, numbers and insertion codes, the
// atoms and coordinates of the model, and gemmi's program and the standard assignment program
// read them without a message.
TEST(Export, ModelsReadBackWithTheOriginalNumbering) {
  TempDir d;
  write_renumbered_ubi(d.file("ubi.pdb"));
  ASSERT_EQ(run_tools(d.path(), "prep ubi.pdb -o w").status, 0);
  const std::string bbdat = std::string(VORB_SOURCE_DIR) + "/data/BBdat";
  for (const char* mode : {"23", "3"}) {
    test::RunResult v = test::run_vorb(d.path() / "w", std::string(mode) + " input.pdb " + q(bbdat));
    ASSERT_EQ(v.status, 0) << v.err;
    // In the frame of the input: the model moved back by the program's lattice shift.
    std::vector<ModelAtom> model = read_model(d.file("w/input.pdb.h"));
    int matched = 0;
    const std::array<double, 3> off = frame_offset(model, read_model(d.file("w/input.pdb")), matched);
    EXPECT_EQ(matched, 76);
    EXPECT_GT(off[2], 1.0);  // the lowest z of 1ubi is below 15 A
    shift_atoms(model, off);
    for (const char* ext : {".pdb", ".cif"}) {
      SCOPED_TRACE(std::string(mode) + ext);
      const std::string out = d.file(std::string("m") + mode + ext);
      test::RunResult r = run_tools(d.path(), "export w/input.pdb.h -o " + q(out));
      ASSERT_EQ(r.status, 0) << r.err;

      Prepared back = prepare_structure(out, PrepOptions{});
      EXPECT_EQ(back.chain, "U");
      ASSERT_EQ(back.res.size(), 76u);
      EXPECT_EQ(back.res[33].num, 134);
      EXPECT_EQ(back.res[34].num, 134);
      EXPECT_EQ(back.res[34].icode, 'A');
      EXPECT_EQ(back.res[35].num, 135);
      std::size_t n = 0;
      for (const PrepResidue& res : back.res)
        for (std::size_t a = 0; a < res.res.atoms.size(); ++a, ++n) {
          ASSERT_LT(n, model.size());
          EXPECT_EQ(res.res.atoms[a].first, model[n].name4);
          EXPECT_NEAR(res.pos[a][0], model[n].x, 1e-9);
          EXPECT_NEAR(res.pos[a][2], model[n].z, 1e-9);
        }
      EXPECT_EQ(n, model.size());

      if (std::system("command -v gemmi >/dev/null 2>&1") == 0) {
        test::RunResult g = test::run_in(d.path(), "gemmi contents " + q(out));
        EXPECT_EQ(g.status, 0) << g.err;
        EXPECT_EQ(g.err, "");
      }
      if (!have_mkdssp()) continue;
      test::RunResult k = test::run_in(d.path(), "mkdssp --output-format dssp " + q(out) + " out.dssp");
      EXPECT_EQ(k.status, 0) << k.err;
      EXPECT_EQ(k.err, "");
      std::string dssp = read_file(d.file("out.dssp"));
      EXPECT_NE(dssp.find("   76  1  0  0  0 TOTAL NUMBER OF RESIDUES"), std::string::npos);
      EXPECT_NE(dssp.find("   35  134AU"), std::string::npos);
    }
  }
  if (!have_mkdssp()) GTEST_SKIP() << "mkdssp not installed";
}

// The mode "1" output carries hydrogens; they come out with element H and current names.
TEST(Export, HydrogenOutputOfModeOne) {
  TempDir d;
  ASSERT_EQ(run_tools(d.path(), "prep " + q(test::data_path("pipeline/two_chains.pdb")) +
                                    " --chain B -o w")
                .status,
            0);
  ASSERT_EQ(test::run_vorb(d.path() / "w", "1 input.pdb").status, 0);
  test::RunResult r = run_tools(d.path(), "export w/input.pdb.h");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("ATOM      9  H1  MET B  10 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" HE3 MET B  10 "), std::string::npos);
  EXPECT_NE(r.out.find(" HB3 PHE B  12A"), std::string::npos);
  EXPECT_NE(r.out.find(" HZ1 LYS B  14 "), std::string::npos);
  EXPECT_NE(r.out.find("  1.00  0.00           H"), std::string::npos);
}

TEST(Export, MapErrorsAreRejectedAndNothingWritten) {
  TempDir d;
  ASSERT_EQ(run_tools(d.path(), "prep " + q(test::data_path("pipeline/models.pdb")) + " -o w")
                .status,
            0);
  test::write_file(d.file("model.h"),
                   "ATOM      1  CA  MET     1      27.224  22.800  15.783  0\n"
                   "ATOM      2  CA  GLN     2      26.381  25.361  15.000  0\n"
                   "ATOM      3  CA  ILE     4      26.381  25.361  15.000  0\nTER\n");
  test::RunResult r = run_tools(d.path(), "export model.h --map w/residues.tsv -o out.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("residue 4 of the model is not in the residue map (1..3)"), std::string::npos)
      << r.err;
  test::write_file(d.file("model.h"),
                   "ATOM      1  CA  MET     1      27.224  22.800  15.783  0\n"
                   "ATOM      2  CA  ALA     2      26.381  25.361  15.000  0\nTER\n");
  r = run_tools(d.path(), "export model.h --map w/residues.tsv -o out.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("residue 2 is ALA in the model but GLN in the residue map"), std::string::npos)
      << r.err;
  test::write_file(d.file("bad.tsv"), "number\tresidue\tchain\n1\tMET\tA\t1\t.\n3\tGLN\tA\t2\t.\n");
  EXPECT_THROW(read_residue_map(d.file("bad.tsv")), InputError);
  EXPECT_FALSE(fs::exists(d.file("out.pdb")));
}

}  // namespace
}  // namespace vorb::tools
