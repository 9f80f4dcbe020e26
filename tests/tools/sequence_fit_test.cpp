#include "sequence_fit.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "export.hpp"
#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;
using test::run_tools;
using test::TempDir;

// A prepared trace of the given residue names and original numbers.
Prepared chain_of(const std::vector<std::pair<std::string, int>>& res) {
  Prepared p;
  p.source = "in.pdb";
  p.chain = "A";
  for (std::size_t k = 0; k < res.size(); ++k) {
    PrepResidue r;
    r.res.name = res[k].first;
    r.res.num = int(k + 1);
    r.chain = "A";
    r.num = res[k].second;
    r.input_name = r.res.name;
    r.res.atoms.emplace_back(" CA ", Vec3{float(3.8 * k), 0, 0});
    r.pos.push_back({3.8 * double(k), 0, 0});
    r.b.push_back(0);
    p.res.push_back(r);
  }
  return p;
}

std::string layout(const Prepared& p) {
  std::string s;
  for (const PrepResidue& r : p.res)
    s += (r.res.atoms.empty() ? "-" : "") + r.res.name + std::to_string(r.num) + " ";
  return s;
}

TEST(SequenceFit, ByNumberThenByAlignmentAddingTheMissingResidues) {
  const std::vector<std::string> seq = sequence_argument("MKTAYG");
  ASSERT_EQ(seq.size(), 6u);
  Prepared p = chain_of({{"LYS", 2}, {"THR", 3}, {"TYR", 5}});
  SequenceFit f = fit_sequence(p, seq);
  EXPECT_TRUE(f.by_number);
  EXPECT_EQ(f.added, 3);
  EXPECT_EQ(layout(p), "-MET1 LYS2 THR3 -ALA4 TYR5 -GLY6 ");
  for (std::size_t k = 0; k < p.res.size(); ++k) EXPECT_EQ(p.res[k].res.num, int(k + 1));

  // Numbered 101..: placed by alignment, the gap where the names say; added residues continue
  // the numbers, with an insertion code where the next number is taken.
  p = chain_of({{"LYS", 101}, {"THR", 102}, {"TYR", 103}});
  f = fit_sequence(p, seq);
  EXPECT_FALSE(f.by_number);
  EXPECT_EQ(layout(p), "-MET100 LYS101 THR102 -ALA102 TYR103 -GLY104 ");
  EXPECT_EQ(p.res[3].icode, 'A');
}

TEST(SequenceFit, ResiduesThatDoNotFitAreNamed) {
  const std::vector<std::string> seq = sequence_argument("mktayg");
  Prepared p = chain_of({{"LYS", 2}, {"GLU", 3}});
  try {
    fit_sequence(p, seq);
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("residue GLU A 3 does not fit the sequence, which has THR at "
                                         "number 3"),
              std::string::npos)
        << e.what();
  }
  p = chain_of({{"LYS", 20}, {"THR", 21}, {"GLY", 22}, {"ALA", 23}});
  EXPECT_THROW(
      {
        try {
          fit_sequence(p, seq);
        } catch (const InputError& e) {
          EXPECT_NE(std::string(e.what()).find("residue ALA A 23 does not fit"), std::string::npos)
              << e.what();
          throw;
        }
      },
      InputError);
  p = chain_of({{"LYS", 20}, {"THR", 21}, {"GLY", 22}, {"ALA", 23}, {"ALA", 24}, {"ALA", 25},
                {"ALA", 26}});
  EXPECT_THROW(fit_sequence(p, seq), InputError);  // more residues than the sequence
  EXPECT_THROW(sequence_argument("MKXB"), InputError);
  EXPECT_EQ(unextended_ends_warning(chain_of({{"MET", 1}, {"LYS", 2}})), "");
  EXPECT_EQ(unextended_ends_warning(chain_of({{"LYS", 2}, {"THR", 3}})),
            "warning: the chain starts at LYS A 2; without a sequence (--sequence, or SEQRES in the "
            "file) its ends are not extended");

  TempDir d;
  test::write_file(d.file("s.fasta"), ">one\nMKT\nAYG\n>two\nWWW\n");
  EXPECT_EQ(sequence_argument(d.file("s.fasta")), seq);
}

TEST(SequenceFit, RebuildFillsTheGapsInModeThirtyOne) {
  TempDir d;
  const std::string in = test::data_path("coarse/1lds_a_noisy_gapped.pdb");
  const std::string seq =
      "MIQRTPKIQVYSRHPAENGKSNFLNCYVSGFHPSDIEVDLLKNGERIEKVEHSDLSFSKDWSFYLLYYTEFTPTEKDEYACRVNHVTLSQPKIVKWD";
  test::RunResult r =
      run_tools(d.path(), "rebuild '" + in + "' --mode 31 --sequence " + seq + " -o m.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("92 placed by residue number, 5 added without atoms"), std::string::npos) << r.out;
  int calpha = 0, last = 0;
  for (const ModelAtom& a : read_model(d.file("m.pdb")))
    if (a.name4 == " CA ") {
      EXPECT_EQ(a.resnum, last + 1);
      last = a.resnum;
      ++calpha;
    }
  EXPECT_EQ(calpha, 97);

  // A wrong letter at residue 5: the error names it, nothing is written.
  std::string bad = seq;
  bad[4] = 'W';
  r = run_tools(d.path(), "rebuild '" + in + "' --mode 31 --sequence " + bad + " -o n.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("residue THR A 5 does not fit the sequence, which has TRP at number 5"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(d.file("n.pdb")));
  // Without --sequence, mode 31 takes the SEQRES records: two residues of ubiquitin's trace
  // removed come back.
  std::string ubi;
  {
    std::string text = test::read_file(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb");
    for (std::size_t b = 0; b < text.size();) {
      std::size_t e = text.find('\n', b);
      if (e == std::string::npos) e = text.size();
      const std::string l = text.substr(b, e - b);
      b = e + 1;
      const bool ca = l.rfind("ATOM", 0) == 0 && l.substr(12, 4) == " CA ";
      if (l.rfind("SEQRES", 0) == 0 || (ca && l.substr(22, 4) != "  16" && l.substr(22, 4) != "  17"))
        ubi += l + "\n";
    }
  }
  test::write_file(d.file("ubi.pdb"), ubi);
  r = run_tools(d.path(), "rebuild ubi.pdb --mode 31 -o u.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("74 placed by residue number, 2 added without atoms"), std::string::npos) << r.out;
  calpha = 0;
  for (const ModelAtom& a : read_model(d.file("u.pdb"))) calpha += a.name4 == " CA ";
  EXPECT_EQ(calpha, 76);

  // A SEQRES that does not fit (its first residue renamed) is left out with a warning.
  std::string other = ubi;
  other.replace(other.find("MET"), 3, "ALA");
  test::write_file(d.file("other.pdb"), other);
  r = run_tools(d.path(), "rebuild other.pdb --mode 31 -o o.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("warning: the SEQRES or entity sequence is not used"), std::string::npos)
      << r.out;
  calpha = 0;
  for (const ModelAtom& a : read_model(d.file("o.pdb"))) calpha += a.name4 == " CA ";
  EXPECT_EQ(calpha, 74);

  r = run_tools(d.path(), "rebuild '" + in + "' --mode 3 --sequence " + seq + " -o n.pdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("built in --mode 31 only"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(d.file("n.pdb")));
}

}  // namespace
}  // namespace vorb::tools
