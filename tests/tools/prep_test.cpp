#include "prep.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;
using test::data_path;
using test::read_file;
using test::run_tools;
using test::TempDir;

std::string example(const std::string& name) {
  return std::string(VORB_SOURCE_DIR) + "/examples/" + name;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string q(const std::string& path) { return "'" + path + "'"; }

void gzip_copy(const std::string& from, const std::string& to) {
  std::string text = read_file(from);
  gzFile f = gzopen(to.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(gzwrite(f, text.data(), unsigned(text.size())), int(text.size()));
  gzclose(f);
}

// The shipped example in both formats, one of them gzipped, gives the same working files, and
// the topology is the one `hdd` makes of the prepared input.
TEST(Prep, PdbAndMmcifOfOneChainGiveIdenticalFiles) {
  TempDir d;
  gzip_copy(example("1ubi_a.cif"), d.file("ubi.cif.gz"));
  test::RunResult a = run_tools(d.path(), "prep " + q(example("1ubi_a.pdb")) + " -o p");
  test::RunResult b = run_tools(d.path(), "prep ubi.cif.gz -o c");
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  for (const char* f : {"input.pdb", "Hdd", "residues.tsv", "seq.dat"})
    EXPECT_EQ(read_file(d.file(std::string("p/") + f)), read_file(d.file(std::string("c/") + f)))
        << f;

  std::vector<std::string> pdb = lines_of(read_file(d.file("p/input.pdb")));
  ASSERT_EQ(pdb.size(), 602u + 2);
  EXPECT_EQ(pdb.front(),
            "ATOM      1  N   MET A   1      27.343  24.294   2.683  1.00 14.70           N");
  EXPECT_EQ(pdb[pdb.size() - 2], "TER");
  EXPECT_EQ(pdb.back(), "END");
  EXPECT_EQ(lines_of(read_file(d.file("p/seq.dat"))).size(), 76u);
  EXPECT_EQ(lines_of(read_file(d.file("p/seq.dat")))[0], "    1   MET    1    9");

  ASSERT_EQ(run_tools(d.path(), "hdd p/input.pdb -o Hdd2").status, 0);
  EXPECT_EQ(read_file(d.file("p/Hdd")), read_file(d.file("Hdd2")));
  EXPECT_NE(a.out.find("chain A: 76 residues (MET A 1 to GLY A 76)"), std::string::npos) << a.out;
}

// two_chains.pdb: chain A (4 residues, a hydrogen, an altloc B copy, then an unlinked
// D-arginine, SO4 and two waters, all before its TER) and
// chain B (MSE 10, GLN 11, ILE 12, PHE 12A, LYS 14 after a left-out residue, one water).
TEST(Prep, ChainOptionPicksTheChainAndMseBecomesMet) {
  TempDir d;
  test::RunResult r = run_tools(d.path(), "prep " + q(data_path("pipeline/two_chains.pdb")) +
                                              " --chain B -o out");
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> map = lines_of(read_file(d.file("out/residues.tsv")));
  ASSERT_EQ(map.size(), 6u);
  EXPECT_EQ(map[1], "1\tMET\tB\t10\t.\tMSE");
  EXPECT_EQ(map[4], "4\tPHE\tB\t12\tA\tPHE");
  EXPECT_EQ(map[5], "5\tLYS\tB\t14\t.\tLYS");

  std::string pdb = read_file(d.file("out/input.pdb"));
  EXPECT_NE(pdb.find(" SD  MET B   1"), std::string::npos);
  EXPECT_EQ(pdb.find("SE"), std::string::npos);
  EXPECT_EQ(pdb.find("HETATM"), std::string::npos);
  EXPECT_EQ(pdb.find("MSE"), std::string::npos);
  EXPECT_NE(pdb.find(" NZ  LYS B   5"), std::string::npos);

  EXPECT_NE(r.out.find("MSE made MET (SE as SD): 1 residue(s)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("chain breaks: 1 (PHE B 12A - LYS B 14)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("chains not taken: A"), std::string::npos) << r.out;
  // Chain A's waters and ligand live in chain A; chain B's one water is dropped.
  EXPECT_NE(r.out.find("dropped: 1 water(s)"), std::string::npos) << r.out;

  // Without --chain the first protein chain is taken.
  Prepared a = prepare_structure(data_path("pipeline/two_chains.pdb"), PrepOptions{});
  EXPECT_EQ(a.chain, "A");
  ASSERT_EQ(a.res.size(), 4u);
  EXPECT_EQ(a.notes.waters, 2);
  EXPECT_EQ(a.notes.hetero.at("SO4"), 1);
  EXPECT_EQ(a.notes.hetero.at("DAR"), 1);  // an amino acid, but a ligand
  EXPECT_EQ(a.notes.hydrogens, 1);
  EXPECT_EQ(a.notes.altloc, 1);
  EXPECT_EQ(a.notes.breaks.count, 0);
  const Vec3* cb = a.res[2].res.find(" CB ");  // the A copy, not the B copy 0.5 A away
  ASSERT_NE(cb, nullptr);
  EXPECT_FLOAT_EQ(cb->x, 26.384f);
}

TEST(Prep, ModelOptionAndCalphaOnly) {
  Prepared first = prepare_structure(data_path("pipeline/models.pdb"), PrepOptions{});
  PrepOptions second_opt;
  second_opt.model = "2";
  Prepared second = prepare_structure(data_path("pipeline/models.pdb"), second_opt);
  EXPECT_EQ(first.notes.other_models, 1);
  EXPECT_FLOAT_EQ(second.res[0].res.at(" N  ").x, first.res[0].res.at(" N  ").x + 10.0f);

  PrepOptions ca;
  ca.ca_only = true;
  Prepared trace = prepare_structure(example("1ubi_a.pdb"), ca);
  ASSERT_EQ(trace.res.size(), 76u);
  for (const PrepResidue& r : trace.res) {
    ASSERT_EQ(r.res.atoms.size(), 1u);
    EXPECT_EQ(r.res.atoms[0].first, " CA ");
  }
  EXPECT_FALSE(trace.backbone_complete());
  EXPECT_EQ(trace.notes.missing.count, 0);  // not counted for a trace
}

// A later preparation into the same directory leaves nothing of the earlier one that no longer
// applies: no seq.dat for a trace, no model of the earlier input.
TEST(Prep, StaleFilesOfAnEarlierRunAreRemoved) {
  TempDir d;
  ASSERT_EQ(run_tools(d.path(), "prep " + q(example("1ubi_a.pdb")) + " -o w").status, 0);
  ASSERT_TRUE(fs::exists(d.file("w/seq.dat")));
  test::write_file(d.file("w/input.pdb.h"), "ATOM\n");
  test::RunResult r = run_tools(d.path(), "prep " + q(example("1ubi_a.pdb")) + " --ca -o w");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(d.file("w/seq.dat")));
  EXPECT_FALSE(fs::exists(d.file("w/input.pdb.h")));
  EXPECT_NE(r.out.find("seq.dat not written"), std::string::npos) << r.out;
}

// Missing atoms and chain breaks are found from the residues alone.
TEST(Prep, MissingAtomsAndBreaksAreReported) {
  Prepared p = prepare_structure(example("1ubi_a.pdb"), PrepOptions{});
  // Drop the side chain of residue 6 beyond CB, then pull residue 40 away from 39.
  Residue& lys = p.res[5].res;
  ASSERT_EQ(lys.name, "LYS");
  lys.atoms.resize(5);
  for (auto& a : p.res[39].res.atoms) a.second.x += 3.0f;
  p.notes = PrepNotes{};
  finish_prepared(p);
  EXPECT_EQ(p.notes.missing.count, 4);
  ASSERT_EQ(p.notes.missing.examples.size(), 1u);
  EXPECT_EQ(p.notes.missing.examples[0], "LYS A 6: CG CD CE NZ");
  EXPECT_EQ(p.notes.breaks.count, 2);  // 39-40 and 40-41
  EXPECT_EQ(p.notes.breaks.examples[0], "ASP A 39 - GLN A 40");
}

// Rejected inputs: a message naming the problem, status 2 and no directory written.
TEST(Prep, BadInputIsRejectedAndNothingWritten) {
  struct Case {
    std::string args, message;
  };
  const std::vector<Case> cases = {
      {q(data_path("pipeline/no_protein.cif")), "no protein chain in model 1 (chains: A)"},
      {q(data_path("pipeline/two_chains.pdb")) + " --chain C", "no chain \"C\" in model 1 (chains: A, B)"},
      {q(data_path("pipeline/short_chain.pdb")), "chain A has 2 residue(s) with atoms; at least 3"},
      {q(data_path("pipeline/d_residue.pdb")), "residue(s) DAL A 3: neither one of the 20 standard"},
      {q(data_path("pipeline/models.pdb")) + " --model 3", "no model 3 (models: 1, 2)"},
      {"missing.cif", "missing.cif"},
      {q(example("1ubi_a.pdb")) + " --bogus", "usage: vorb-tools prep"},
  };
  for (const Case& c : cases) {
    TempDir d;
    test::RunResult r = run_tools(d.path(), "prep " + c.args + " -o out");
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    EXPECT_FALSE(fs::exists(d.file("out"))) << c.args;
  }
}

// Coordinates that the program's 8-column fields cannot hold are refused, not turned into
// asterisks.
TEST(Prep, CoordinatesBeyondTheColumnsAreRefused) {
  Prepared p = prepare_structure(data_path("pipeline/models.pdb"), PrepOptions{});
  p.res[1].pos[0][1] = -1000.0;
  EXPECT_THROW(input_pdb_lines(p), InputError);
  p.res[1].pos[0][1] = -999.999;
  EXPECT_NO_THROW(input_pdb_lines(p));
}

}  // namespace
}  // namespace vorb::tools
