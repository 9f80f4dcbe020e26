#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "builders/chain_fixture.hpp"
#include "builders/completion_run.hpp"
#include "catrace.hpp"
#include "holdout.hpp"
#include "model/errors.hpp"
#include "score.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

using test::make_chain;

// Runs the test body in a fresh working directory (the run reads fixed names there).
class InTempDir {
 public:
  InTempDir() : old_(std::filesystem::current_path()) { std::filesystem::current_path(dir_.path()); }
  ~InTempDir() { std::filesystem::current_path(old_); }
  std::string file(const std::string& n) const { return dir_.file(n); }

 private:
  test::TempDir dir_;
  std::filesystem::path old_;
};

// A library of one fragment per class, keyed at bin 0 for alanine.
const char* const kLibrary =
    "3 1 1 1\n"
    " 1  0  0  0  0  0  2  1   2.000   1.000   0.500   1.200   0.800   0.300\n"
    " 2  0  0  0  0  0  2  1   2.000   1.000   0.500   1.200   0.800   0.300\n"
    " 3  0  0  0  0  0  2  1   2.000   1.000   0.500   1.200   0.800   0.300\n";

// A model of the sequence with only its C-alpha atoms, ready for a building mode.
// The builders' layout: the amide H follows the heavy atoms.
test::ChainOptions with_h() {
  test::ChainOptions o;
  o.hydrogens = true;
  return o;
}

std::unique_ptr<ModelState> trace(const std::string& seq, const char* mode) {
  auto s = make_chain(seq, with_h());
  for (int i = 1; i <= s->natom; ++i)
    if (!(s->atomty(i) == " CA ")) set_missing(*s, i);
  s->mode = Name4::from(mode);
  s->libfile = "BBdat";
  return s;
}

struct Outcome {
  std::string out;
  bool ended = false;  // EndRun
};

Outcome complete(ModelState& s) {
  Outcome o;
  testing::internal::CaptureStdout();
  try {
    completion_run(s);
  } catch (const EndRun&) {
    o.ended = true;
  } catch (...) {
    testing::internal::GetCapturedStdout();
    throw;
  }
  o.out = testing::internal::GetCapturedStdout();
  return o;
}

TEST(CompletionRun, RejectsShortChainsAndUnknownResiduesBeforeReadingAnything) {
  InTempDir d;
  auto s = trace("AA", "23");
  s->libfile.clear();  // would end the run, but the chain is rejected first
  EXPECT_THROW(completion_run(*s), InputError);
  auto t = trace("AAAA", "23");
  t->ityp(3) = 0;
  try {
    completion_run(*t);
    ADD_FAILURE() << "no error";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("residue 3"), std::string::npos) << e.what();
  }
}

TEST(CompletionRun, EndsWithoutAUsableLibrary) {
  InTempDir d;
  auto s = trace("AAAAA", "23");
  s->libfile.clear();
  Outcome o = complete(*s);
  EXPECT_TRUE(o.ended);
  EXPECT_EQ(o.out, " BBdat is not available, quit\n");
  test::write_file(d.file("BBdat"), "1 1 0 0\n" + std::string(kLibrary).substr(8, 72));
  auto t = trace("AAAAA", "23");
  o = complete(*t);
  EXPECT_TRUE(o.ended);
  EXPECT_EQ(o.out, " BBdat is not available, quit\n");
  EXPECT_FALSE(std::filesystem::exists(d.file("model.pdb.h")));
}

TEST(CompletionRun, Mode23WritesEveryHeavyAtomAroundTheUnchangedTrace) {
  InTempDir d;
  test::write_file(d.file("BBdat"), kLibrary);
  auto s = trace("AKFSGTW", "23");
  auto ref = make_chain("AKFSGTW", with_h());
  Outcome o = complete(*s);
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(o.out, "");
  EXPECT_FLOAT_EQ(s->wclash, std::sqrt(1.0f / 7.0f));
  const std::string h = test::read_file(d.file("model.pdb.h"));
  int atoms = 0;
  for (int i = 1; i <= s->natom; ++i) {
    if (s->atomty(i) == " CA ") {
      EXPECT_EQ(s->xx(i), ref->xx(i));
      EXPECT_EQ(s->zz(i), ref->zz(i));
    }
    if (s->aty(i) != 'H') {
      EXPECT_TRUE(s->placed(i)) << s->atomty(i).str() << " " << s->ress(i);
      ++atoms;
    }
  }
  EXPECT_EQ(std::count(h.begin(), h.end(), '\n'), atoms + 1);
  EXPECT_EQ(h.substr(h.size() - 4), "TER\n");
  // The same input gives the same file.
  const std::string first = h;
  auto again = trace("AKFSGTW", "23");
  complete(*again);
  EXPECT_EQ(test::read_file(d.file("model.pdb.h")), first);
}

TEST(CompletionRun, TemplateModesClassifyAndWarnAboutMissingInputs) {
  struct Case {
    int helix, strand;
    const char* cls;
    float whbm;
  };
  for (Case c : {Case{11, 9, "aa", 1.0f}, Case{10, 9, "ab", 1.0f}, Case{9, 11, "bb", 0.67f},
                 Case{20, 20, "ab", 1.0f}}) {
    InTempDir d;
    test::write_file(d.file("BBdat"), kLibrary);
    std::string seq;
    for (int r = 1; r <= 100; ++r) {
      const int code = r <= c.helix ? 2 : r <= c.helix + c.strand ? 4 : 1;
      seq += std::to_string(r) + " ALA " + std::to_string(code) + " 0\n";
    }
    test::write_file(d.file("seq.dat"), seq);
    auto s = trace(std::string(100, 'A'), "3");
    Outcome o = complete(*s);
    EXPECT_EQ(s->ssclass, c.cls) << c.helix << " " << c.strand;
    EXPECT_FLOAT_EQ(s->whbm, c.whbm);
    EXPECT_EQ(o.out,
              " WARNING!!! No template used\n"
              " warning!!!, no ZEPHAL restraints used\n");
    EXPECT_EQ(s->itempl, 0);
    EXPECT_EQ(s->irest, 0);
    EXPECT_FLOAT_EQ(s->wdist, 3.6f);  // level "easy" without init.dat
    EXPECT_FALSE(std::filesystem::exists(d.file("model.pdb.h")));
  }
}

TEST(CompletionRun, LevelSetsTheRestraintWeightsAndEnoughRowsEnableThem) {
  InTempDir d;
  test::write_file(d.file("BBdat"), kLibrary);
  test::write_file(d.file("init.dat"), "1 hard\n");
  test::write_file(d.file("distL.dat"), "4\n1 2 5.0\n1 3 5.0\n2 3 5.0\n1 3 6.0\n");
  auto s = trace("AAA", "4");
  Outcome o = complete(*s);
  EXPECT_EQ(o.out,
            " WARNING!! seq.dat is different to the structure, not use seq instead\n"
            " WARNING!!! No template used\n");
  EXPECT_FLOAT_EQ(s->wdistl, 0.5f);
  EXPECT_FLOAT_EQ(s->wdist, 2.7f);
  EXPECT_FLOAT_EQ(s->wcomb, 0.4f);
  EXPECT_EQ(s->irest, 1);
  EXPECT_EQ(s->ssclass, "ab");
}

// VORB 23 on the C-alpha trace of every held-out chain, with its generated topology and the
// shipped library.
TEST(Mode23, CompletesEveryHeldOutTraceReproducibly) {
  const std::string shared = test::shared_dir();
  if (shared.empty()) GTEST_SKIP() << "no shared structures";
  const std::string lib = std::string(VORB_SOURCE_DIR) + "/data/BBdat";
  const auto split = tools::split_directory(shared + "/structures/train");
  ASSERT_FALSE(split.heldout.empty());
  for (const std::string& native_path : split.heldout) {
    SCOPED_TRACE(native_path);
    test::TempDir d;
    const tools::Chain native = tools::read_chain(native_path);
    ASSERT_EQ(tools::write_ca_trace({native}, d.file("trace.pdb")), 0);
    ASSERT_EQ(test::run_tools(d.path(), "hdd '" + native_path + "' -o Hdd").status, 0);
    const test::RunResult r = test::run_vorb(d.path(), "23 trace.pdb '" + lib + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    const std::string model = test::read_file(d.file("trace.pdb.h"));
    ASSERT_GE(model.size(), 4u);
    EXPECT_EQ(model.substr(model.size() - 4), "TER\n");

    const tools::Score sc = tools::score(native, tools::read_chain(d.file("trace.pdb.h")));
    EXPECT_EQ(sc.residues, int(native.res.size()));
    EXPECT_EQ(sc.heavy_missing, 0);
    EXPECT_LE(sc.ca_deviation, 0.0015f);  // the trace moved by the frame translation alone
    EXPECT_LE(sc.ca_clashes, sc.native_ca_clashes);
    EXPECT_LT(sc.rmsd_backbone, 1.2f);
    EXPECT_LT(sc.rmsd_sidechain, 3.5f);

    ASSERT_EQ(test::run_vorb(d.path(), "23 trace.pdb '" + lib + "'").status, 0);
    EXPECT_EQ(test::read_file(d.file("trace.pdb.h")), model);
  }
}

}  // namespace
}  // namespace vorb
