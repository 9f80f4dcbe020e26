#include "restraints/hblist.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.hpp"

namespace vorb {
namespace {

namespace fs = std::filesystem;

using Pair = std::pair<int, int>;  // donor residue, acceptor residue

// restr_stru reads PRHB and writes PRHB2 in the working directory, so each test runs in its
// own scratch directory.
class HbList : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_.path());
  }
  void TearDown() override { fs::current_path(old_); }

  // nres residues of four atoms N, CA, C, O; C-alpha atoms 10 A apart on the x axis.
  void chain(int nres, const char* mode) {
    s_ = test::make_state();
    s_->mode = Name4::from(mode);
    s_->nres = nres;
    s_->natom = 4 * nres;
    const char* names[] = {" N  ", " CA ", " C  ", " O  "};
    for (int r = 1; r <= nres; ++r) {
      s_->ica(r) = 4 * r - 2;
      for (int k = 0; k < 4; ++k) {
        int i = 4 * r - 3 + k;
        s_->atomty(i) = Name4::from(names[k]);
        s_->ress(i) = r;
        s_->xx(i) = 10.0f * float(r);
        s_->yy(i) = 0.0f;
        s_->zz(i) = float(k);
      }
    }
  }
  static int n_of(int r) { return 4 * r - 3; }
  static int o_of(int r) { return 4 * r; }

  // Codes per residue from digit strings (residue 1 first); seq2 defaults to the same codes.
  void codes(const std::string& ss, std::string tors = "") {
    if (tors.empty()) tors = ss;
    for (std::size_t k = 0; k < ss.size(); ++k) {
      s_->sscode(int(k) + 1) = ss[k] - '0';
      s_->seq2(int(k) + 1, 1) = tors[k] - '0';
    }
  }
  // A run of one code over residues first..last.
  void code_run(int first, int last, int c) {
    for (int r = first; r <= last; ++r) s_->sscode(r) = s_->seq2(r, 1) = c;
  }
  void model_bond(int d_atom, int a_atom) {
    ++s_->nhb;
    s_->hbpair(s_->nhb, 1) = d_atom;
    s_->hbpair(s_->nhb, 2) = a_atom;
  }
  void model_bond_res(int rd, int ra) { model_bond(n_of(rd), o_of(ra)); }
  void prhb(const std::vector<Pair>& bonds) {
    std::ostringstream t;
    int k = 0;
    for (auto [d, a] : bonds) t << ++k << " N " << d << " O " << a << "\n";
    test::write_file("PRHB", t.str());
  }

  std::vector<Pair> listed() const {
    std::vector<Pair> v;
    for (int p = 1; p <= s_->npredhb; ++p)
      v.push_back({s_->ress(s_->reshbn(p, 1)), s_->ress(s_->reshbn(p, 2))});
    return v;
  }
  // Bonds of one donor come out in the order the heapsort leaves them.
  static std::vector<Pair> sorted(std::vector<Pair> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  std::vector<int> types() const {
    std::vector<int> v;
    for (int p = 1; p <= s_->npredhb; ++p) v.push_back(s_->reshbn(p, 3));
    return v;
  }
  std::string run() {
    testing::internal::CaptureStdout();
    restr_stru(*s_);
    return testing::internal::GetCapturedStdout();
  }

  test::TempDir dir_;
  fs::path old_;
  std::unique_ptr<ModelState> s_;
};

TEST_F(HbList, FewerThanTwoFileBondsOutsideRestraintModesStopEarly) {
  chain(30, "3");
  codes("111122221111111144441111111111", "111111111111111144441111111111");
  model_bond_res(20, 16);
  model_bond_res(25, 21);

  // No file: empty list.
  run();
  EXPECT_EQ(s_->npredhb, 0);
  EXPECT_EQ(s_->hblok, 0);

  // One line: that bond alone, untyped; codes and model bonds untouched apart from the seq2 ends.
  prhb({{14, 10}});
  s_->seq2(1, 1) = 4;
  s_->reshbn(1, 3) = 7;
  run();
  EXPECT_EQ(s_->npredhb, 1);
  EXPECT_EQ(s_->hblok, 0);
  EXPECT_EQ(s_->reshbn(1, 1), n_of(14));
  EXPECT_EQ(s_->reshbn(1, 2), o_of(10));
  EXPECT_EQ(s_->reshbn(1, 3), 0);
  EXPECT_EQ(s_->sscode(5), 2);  // no consensus: seq2 says coil there
  EXPECT_EQ(s_->sscode(1), 1);
  EXPECT_EQ(s_->seq2(1, 1), 1);  // copied from residue 2
  EXPECT_EQ(s_->hbpair(2, 1), n_of(25));
  EXPECT_FALSE(fs::exists("PRHB2"));
}

TEST_F(HbList, BadLinesAreSkippedWithOneWarning) {
  chain(30, "3");
  codes(std::string(30, '1'));
  test::write_file("PRHB",
                   "1 N 14 O 10\n"
                   "2 N x O 3\n"            // not a number
                   "3 N 0 O 5\n"            // residue 0
                   "4 N 5 O 31\n"           // beyond the last residue
                   "5 N 7\n"                // too short
                   "\n"                     // blank: ignored silently
                   "*** N  20 O  16  1  1  1 trailing words\n");  // overflowed number, extras
  std::string out = run();
  EXPECT_EQ(s_->hblok, 1);
  EXPECT_EQ(listed(), (std::vector<Pair>{{14, 10}, {20, 16}}));
  EXPECT_EQ(out, " warning: 4 PRHB lines skipped (unreadable, or a residue outside 1..30)\n");
}

TEST_F(HbList, DuplicatesAppearOnceAndTheListIsSortedByDonor) {
  chain(40, "3");
  codes(std::string(40, '1'));
  code_run(20, 24, 4);
  code_run(30, 34, 4);
  model_bond_res(22, 32);  // strand pair: list B
  model_bond_res(9, 5);    // coil: list A
  model_bond_res(38, 35);  // coil, repeated in the file
  prhb({{38, 35}, {14, 10}, {14, 10}, {22, 32}, {3, 7}});
  run();
  EXPECT_EQ(listed(), (std::vector<Pair>{{3, 7}, {9, 5}, {14, 10}, {22, 32}, {38, 35}}));
  EXPECT_EQ(s_->hblok, 1);
}

TEST_F(HbList, CombinedOrderDecidesWhatTheCapacityCutKeeps) {
  // Strand bonds of the model, then the file, then the model's other bonds: with 3001 distinct
  // bonds the model's coil bond is the one cut.
  chain(2000, "3");
  codes(std::string(2000, '1'));
  code_run(1988, 1996, 4);
  model_bond_res(1990, 1994);  // strand
  model_bond_res(1985, 1980);  // coil, last in the combined order
  std::vector<Pair> file;
  for (int r = 1; r <= 1500; ++r) file.push_back({r + 4, r});
  for (int r = 1; r <= 1499; ++r) file.push_back({r + 6, r});
  prhb(file);
  std::string out = run();
  EXPECT_EQ(s_->npredhb, 3000);
  EXPECT_NE(out.find("warning: 3001 predicted H-bonds, list cut to the first 3000"),
            std::string::npos);
  auto l = listed();
  EXPECT_EQ(std::count(l.begin(), l.end(), Pair{1990, 1994}), 1);
  EXPECT_EQ(std::count(l.begin(), l.end(), Pair{1985, 1980}), 0);

  // A duplicate in the file makes room: nothing is cut.
  file.back() = {1990, 1994};
  prhb(file);
  out = run();
  EXPECT_EQ(out.find("cut"), std::string::npos);
  l = listed();
  EXPECT_EQ(s_->npredhb, 3000);
  EXPECT_EQ(std::count(l.begin(), l.end(), Pair{1985, 1980}), 1);
}

TEST_F(HbList, ConsensusOfSequenceAndTorsionCodes) {
  chain(20, "3");
  // residue:  1234567890 1234567890
  codes("11112111114414411111", "11111111114414411122");
  s_->seq2(20, 1) = 4;  // end codes are copied from the neighbours first
  prhb({{14, 10}, {18, 2}});
  run();
  std::string got;
  for (int r = 1; r <= 20; ++r) got += char('0' + s_->sscode(r));
  // The lone helix residue 5 becomes coil, the coil residue 13 between strands becomes strand,
  // residues 19-20 become helix from the torsion codes.
  EXPECT_EQ(got, "11111111114444411122");
  EXPECT_EQ(s_->seq2(20, 1), 2);

  // Strand needs both codes; helix needs either.
  chain(12, "3");
  codes("444444222211", "444111111122");
  prhb({{10, 3}, {12, 4}});
  run();
  got.clear();
  for (int r = 1; r <= 12; ++r) got += char('0' + s_->sscode(r));
  EXPECT_EQ(got, "444111222222");
}

TEST_F(HbList, HelixParallelAndAntiparallelTypes) {
  chain(70, "3");
  codes(std::string(70, '1'));
  code_run(8, 16, 2);
  code_run(18, 24, 4);
  code_run(38, 44, 4);
  // The first bond copies the second's type, the last the one before it.
  prhb({{60, 56}, {20, 40}, {14, 10}, {22, 42}, {2, 6}});
  run();
  EXPECT_EQ(listed(), (std::vector<Pair>{{2, 6}, {14, 10}, {20, 40}, {22, 42}, {60, 56}}));
  EXPECT_EQ(types(), (std::vector<int>{1, 1, 3, 3, 3}));

  prhb({{2, 6}, {14, 10}, {20, 40}, {22, 38}, {60, 56}});
  run();
  EXPECT_EQ(types(), (std::vector<int>{1, 1, 2, 2, 2}));

  // A local coil bond (within three residues) is type 1; a strand bond at either end of the
  // list is type 2 before the ends are copied.
  prhb({{20, 40}, {22, 42}, {50, 47}, {60, 52}});
  run();
  EXPECT_EQ(types(), (std::vector<int>{3, 3, 1, 1}));
}

TEST_F(HbList, UntypedBondsTakeTheirStrandNeighboursType) {
  chain(70, "3");
  codes(std::string(70, '1'));
  code_run(8, 16, 2);
  code_run(18, 24, 4);
  code_run(38, 44, 4);
  // 22 -> 30: coil acceptor, far: type 0, then its donor follows the antiparallel 20 -> 40 by
  // two residues and takes type 2.
  prhb({{2, 6}, {14, 10}, {20, 40}, {22, 30}, {60, 56}, {66, 62}});
  run();
  EXPECT_EQ(types(), (std::vector<int>{1, 1, 2, 2, 0, 0}));

  // 17 -> 37: shifted like the parallel 22 -> 42 two bonds on, and more than five residues
  // apart: type 3.
  prhb({{2, 6}, {14, 10}, {17, 37}, {20, 40}, {22, 42}, {66, 62}});
  run();
  EXPECT_EQ(types(), (std::vector<int>{1, 1, 3, 3, 3, 3}));
}

TEST_F(HbList, RepeatedStrandDonorKeepsOneBond) {
  chain(50, "6");
  codes(std::string(50, '1'));
  code_run(18, 24, 4);
  code_run(38, 46, 4);
  // Donor 20 bonds twice; the bond after them moves the acceptor by 2: the first is dropped.
  model_bond_res(20, 40);
  model_bond_res(20, 42);
  model_bond_res(22, 44);
  run();
  EXPECT_EQ(listed(), (std::vector<Pair>{{20, 42}, {22, 44}}));
  EXPECT_EQ(s_->hbpair(2, 1), n_of(20));

  // Moved by 3: the second bond is dropped from the model list as well.
  s_->nhb = 0;
  model_bond_res(20, 40);
  model_bond_res(20, 42);
  model_bond_res(22, 45);
  run();
  EXPECT_EQ(listed(), (std::vector<Pair>{{20, 40}, {22, 45}}));
  EXPECT_EQ(s_->hbpair(2, 1), 0);

  // The third bond's donor in another element (a helix): both kept.
  code_run(8, 16, 2);
  s_->nhb = 0;
  model_bond_res(20, 40);
  model_bond_res(20, 42);
  model_bond_res(14, 10);
  run();
  EXPECT_EQ(sorted(listed()), (std::vector<Pair>{{14, 10}, {20, 40}, {20, 42}}));
}

TEST_F(HbList, PairedStrandsShareNoElementWithUnpairedOnes) {
  chain(50, "6");
  codes(std::string(50, '1'));
  code_run(18, 24, 4);
  code_run(38, 46, 4);
  // Strand 38-46 lies next to strand 18-24, so it is element -2 and strand 1 becomes -1: the
  // third bond's donor 40 is then in another element than donor 20.
  s_->xx(s_->ica(40)) = s_->xx(s_->ica(20));
  s_->yy(s_->ica(40)) = 5.9f;
  model_bond_res(20, 40);
  model_bond_res(20, 42);
  model_bond_res(40, 22);
  run();
  EXPECT_EQ(sorted(listed()), (std::vector<Pair>{{20, 40}, {20, 42}, {40, 22}}));
  // Unpaired (both 0): the same bonds collapse.
  s_->yy(s_->ica(40)) = 5.91f;
  s_->nhb = 0;
  model_bond_res(20, 40);
  model_bond_res(20, 42);
  model_bond_res(40, 22);
  run();
  EXPECT_EQ(listed(), (std::vector<Pair>{{20, 40}, {40, 22}}));
}

TEST_F(HbList, ModeSixWritesTheListAndResetsShortBonds) {
  chain(30, "6");
  codes(std::string(30, '1'));
  code_run(8, 16, 2);
  prhb({{13, 10}, {11, 10}, {20, 26}, {14, 10}});
  std::string out = run();
  EXPECT_EQ(out, " begin to write PRHB2 4\n");
  EXPECT_EQ(test::read_file("PRHB2"),
            "  1 N  13 O  10  0  2  2\n"
            "  2 N  14 O  10  1  2  2\n"
            "  3 N  20 O  26  1  1  1\n");
}

TEST_F(HbList, ModeSixWritesAFileItReadsBackUnchanged) {
  chain(1010, "6");
  codes(std::string(1010, '1'));
  code_run(990, 1000, 4);
  code_run(1002, 1008, 4);
  model_bond_res(999, 1004);
  model_bond_res(1001, 1006);
  model_bond_res(20, 24);
  prhb({{40, 36}, {1005, 1000}});
  run();
  std::string first = test::read_file("PRHB2");
  auto list1 = listed();
  EXPECT_NE(first.find("  4 N1001 O1006"), std::string::npos);
  fs::rename("PRHB2", "PRHB");
  s_->nhb = 0;
  run();
  EXPECT_EQ(listed(), list1);
  EXPECT_EQ(test::read_file("PRHB2"), first);
}

TEST_F(HbList, ModeSixtySixWritesTheModelBonds) {
  chain(40, "66");
  codes(std::string(40, '1'));
  code_run(8, 16, 2);
  code_run(20, 24, 4);
  code_run(30, 36, 4);
  model_bond_res(14, 10);  // helix: 0
  model_bond_res(6, 5);    // numbered, not written
  model_bond(3, o_of(2));  // side-chain donor name: neither numbered nor written
  model_bond_res(21, 33);  // strand, next moves both by 2: 3
  model_bond_res(23, 35);  // strand, previous matches: 3
  model_bond_res(26, 2);   // coil: 1
  model_bond_res(22, 33);  // strand, last: 2
  prhb({{30, 38}, {3, 7}});  // not written in this mode
  run();
  EXPECT_EQ(test::read_file("PRHB2"),
            "  1 N  14 O  10  0  2  2\n"
            "  3 N  21 O  33  3  4  4\n"
            "  4 N  23 O  35  3  4  4\n"
            "  5 N  26 O   2  1  1  1\n"
            "  6 N  22 O  33  2  4  4\n");
}

}  // namespace
}  // namespace vorb
