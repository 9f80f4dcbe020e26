#include "io/aux_read.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "io/ffmt.hpp"
#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

struct Rec {
  int cls, b1, b2, b3, b4, b5, type, slot;
  float v[6];
};

std::string lib_line(const Rec& r) {
  ffmt::RecordWriter w;
  w.i(r.cls, 2);
  for (int x : {r.b1, r.b2, r.b3, r.b4, r.b5, r.type, r.slot}) w.x(1).i(x, 2);
  for (float x : r.v) w.x(1).f(x, 7, 3);
  return w.str();
}

std::string library(const std::string& header, const std::vector<Rec>& recs) {
  std::string t = header + "\n";
  for (const Rec& r : recs) t += lib_line(r) + "\n";
  return t;
}

const std::vector<Rec> kRecs = {
    {1, 3, 4, 5, 1, 6, 2, 1, {2.4f, 0.1f, -0.2f, 1.5f, 0.3f, 0.4f}},
    {1, 3, 4, 5, 1, 6, 2, 1, {2.5f, 0.0f, 0.0f, 1.4f, 0.0f, 0.0f}},  // replaces record 1
    {2, 3, 4, 5, 1, 6, 2, 1, {2.3f, 0.0f, 0.0f, 1.6f, 0.0f, 0.0f}},
    {7, 25, 10, 10, 4, 10, 20, 10, {-1.0f, -2.0f, -3.0f, 4.0f, 5.0f, 6.0f}},
};

// Captures standard output for the lifetime of the object.
class CaptureOut {
 public:
  CaptureOut() : old_(std::cout.rdbuf(buf_.rdbuf())) {}
  ~CaptureOut() { std::cout.rdbuf(old_); }
  std::string str() const { return buf_.str(); }

 private:
  std::ostringstream buf_;
  std::streambuf* old_;
};

TEST(Library, FillsTablesByClassAndLaterRecordsReplaceEarlier) {
  test::TempDir d;
  test::write_file(d.file("BBdat"), library("4 2 1 1", kRecs));
  auto s = test::make_state();
  s->libfile = d.file("BBdat");
  ASSERT_TRUE(read_library(*s));
  EXPECT_EQ(s->nbb, 4);
  EXPECT_EQ(s->nbbc, 2);
  EXPECT_EQ(s->nbbh, 1);
  EXPECT_EQ(s->nbbe, 1);
  EXPECT_EQ(s->bbdatc(3, 4, 5, 1, 6, 2, 1), 2);
  EXPECT_EQ(s->bbdata(3, 4, 5, 1, 6, 2, 1), 3);
  EXPECT_EQ(s->bbdatb(3, 4, 5, 1, 6, 2, 1), 0);
  EXPECT_EQ(s->bbdatb(25, 10, 10, 4, 10, 20, 10), 4);  // class 7 reads as strand
  EXPECT_EQ(s->bbdatc(3, 4, 5, 1, 6, 3, 1), 0);
  EXPECT_FLOAT_EQ(s->bbcoord(1, 3), -0.2f);
  EXPECT_FLOAT_EQ(s->bbcoord(4, 1), -1.0f);
  EXPECT_FLOAT_EQ(s->bbcoord(4, 6), 6.0f);
  EXPECT_FLOAT_EQ(s->bbcoord(5, 1), 0.0f);
}

TEST(Library, ReadingASmallerLibraryClearsTheOldOne) {
  test::TempDir d;
  test::write_file(d.file("a"), library("4 2 1 1", kRecs));
  test::write_file(d.file("b"), library("1 0 1 0", {kRecs[2]}));
  auto s = test::make_state();
  read_library_file(*s, d.file("a"));
  read_library_file(*s, d.file("b"));
  EXPECT_EQ(s->nbb, 1);
  EXPECT_EQ(s->bbdatc(3, 4, 5, 1, 6, 2, 1), 0);
  EXPECT_EQ(s->bbdata(3, 4, 5, 1, 6, 2, 1), 1);
  EXPECT_FLOAT_EQ(s->bbcoord(4, 6), 0.0f);
}

TEST(Library, ImpliedDecimalsAndBlankFields) {
  test::TempDir d;
  // "   2400" has three implied decimals; blank columns read 0.
  std::string line = std::string(" 2") + "  1" + std::string(12, ' ') + "  3" + "  1" + "    2400";
  test::write_file(d.file("l"), "1 0 1 0\n" + line + "\n");
  auto s = test::make_state();
  read_library_file(*s, d.file("l"));
  EXPECT_EQ(s->bbdata(1, 0, 0, 0, 0, 3, 1), 1);
  EXPECT_FLOAT_EQ(s->bbcoord(1, 1), 2.4f);
  EXPECT_FLOAT_EQ(s->bbcoord(1, 2), 0.0f);
}

// Records in the usual layout take a direct path; odd but valid layouts (left-justified
// fields, a blank inside a real, implied decimals, an exponent, trailing blanks) must read the
// same values.
TEST(Library, UsualAndUnusualLayoutsReadTheSameValues) {
  Rec r{2, 12, 3, 4, 1, 10, 17, 9, {-0.001f, 2.437f, 999.999f, -99.999f, 0.0f, -0.0f}};
  std::string odd = " 2 12  3  4  1 10 17 9 ";
  for (const char* f : {"-0.001 ", " 2. 437", "999.999", "-99999 ", " 0.0E0 ", "  -0.0 "})
    odd += std::string(" ") + f;
  odd += "  ";
  ASSERT_EQ(lib_line(r).size(), 71u);
  test::TempDir d;
  test::write_file(d.file("a"), "1 0 1 0\n" + lib_line(r) + "\n");
  test::write_file(d.file("b"), "1 0 1 0\n" + odd + "\n");
  auto a = test::make_state(), b = test::make_state();
  read_library_file(*a, d.file("a"));
  read_library_file(*b, d.file("b"));
  EXPECT_EQ(a->bbdata(12, 3, 4, 1, 10, 17, 9), 1);
  EXPECT_EQ(b->bbdata(12, 3, 4, 1, 10, 17, 9), 1);
  for (int c = 1; c <= 6; ++c) {
    EXPECT_FLOAT_EQ(a->bbcoord(1, c), r.v[std::size_t(c - 1)]) << c;
    EXPECT_EQ(a->bbcoord(1, c), b->bbcoord(1, c)) << c;
  }
  EXPECT_TRUE(std::signbit(a->bbcoord(1, 6)));

  // The usual layout's reals read as the float nearest each decimal, as from_chars gives it,
  // for values of one to four decimals over the whole field.
  std::uint32_t x = 7;
  std::string text = "6000 0 6000 0\n";
  std::vector<std::string> fields;
  for (int k = 0; k < 6000; ++k) {
    std::string l = " 2  1  1  1  1  1  1  1";
    for (int c = 0; c < 6; ++c) {
      x = x * 1664525u + 1013904223u;
      const int d = 1 + int(x % 4);
      char f[16];
      std::snprintf(f, sizeof f, "%7.*f", d, (double(x >> 8) / double(1 << 24) - 0.5) * 1.99 * std::pow(10.0, 5 - d));
      l += std::string(" ") + f;
      fields.emplace_back(f);
    }
    text += l + "\n";
  }
  std::istringstream in(text);
  auto c = test::make_state();
  read_library_stream(*c, in, "many");
  for (int k = 0; k < 6000; ++k)
    for (int col = 1; col <= 6; ++col) {
      const std::string& f = fields[std::size_t(6 * k + col - 1)];
      const std::size_t b = f.find_first_not_of(' ');
      float want = 0;
      std::from_chars(f.data() + b, f.data() + f.size(), want);
      ASSERT_EQ(std::memcmp(&want, &c->bbcoord(k + 1, col), sizeof want), 0) << f;
    }
}

TEST(Library, NoLibraryNamedIsNotAnError) {
  auto s = test::make_state();
  EXPECT_FALSE(read_library(*s));
  s->libfile = "/nonexistent/BBdat";
  EXPECT_THROW(read_library(*s), InputError);
}

TEST(Library, RejectsHeadersThatDisagreeWithTheRecords) {
  test::TempDir d;
  auto expect_error = [&](const std::string& text, const std::string& part) {
    test::write_file(d.file("l"), text);
    auto s = test::make_state();
    try {
      read_library_file(*s, d.file("l"));
      ADD_FAILURE() << "accepted: " << text;
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
  };
  expect_error("70001 70000 1 0\n", "capacity");
  expect_error("4 2 1 2\n", "do not add up");
  expect_error("-1 -1 0 0\n", "negative");
  expect_error("x 1 1 1\n", "l:1:");
  expect_error("", "header");
  expect_error(library("5 2 1 2", kRecs), "file ends after 4");
  expect_error(library("3 2 1 0", kRecs), "l:5: more records");
  // Record 3 is helix but the header puts three coil records first.
  expect_error(library("4 3 0 1", kRecs), "l:4:");
  Rec bad = kRecs[0];
  bad.b4 = 5;
  expect_error(library("1 1 0 0", {bad}), "l:2:");
  bad = kRecs[0];
  bad.type = 0;
  expect_error(library("1 1 0 0", {bad}), "l:2:");
  std::string line = lib_line(kRecs[0]);
  line.replace(26, 3, "abc");
  expect_error("1 1 0 0\n" + line + "\n", "l:2: column 25");
}

TEST(Library, HeaderMaySpanLinesAndTrailingBlankLinesAreFine) {
  test::TempDir d;
  test::write_file(d.file("l"), "1 1\n 0 0\n" + lib_line(kRecs[0]) + "\n\n  \n");
  auto s = test::make_state();
  read_library_file(*s, d.file("l"));
  EXPECT_EQ(s->bbdatc(3, 4, 5, 1, 6, 2, 1), 1);
}

TEST(SeqFile, ReadsCodesAndStopsAtAnUnreadableRecord) {
  test::TempDir d;
  auto s = test::make_state();
  s->nres = 4;
  bool opened = true;
  EXPECT_EQ(read_seq_file(*s, d.file("seq.dat"), opened), 0);
  EXPECT_FALSE(opened);

  test::write_file(d.file("seq.dat"), "1 MET 2 0\n2 LYS, 4, 7\n3 ALA 1 0\n4 GLY 2 0\n");
  EXPECT_EQ(read_seq_file(*s, d.file("seq.dat"), opened), 4);
  EXPECT_TRUE(opened);
  EXPECT_EQ(s->sscode(1), 2);
  EXPECT_EQ(s->sscode(2), 4);
  EXPECT_EQ(s->sscode(4), 2);

  auto t = test::make_state();
  t->nres = 4;
  test::write_file(d.file("seq.dat"), "1 MET 2 0\n2 LYS 4 0\n3 ALA H 0\n4 GLY 2 0\n");
  EXPECT_EQ(read_seq_file(*t, d.file("seq.dat"), opened), 2);
  EXPECT_EQ(t->sscode(2), 4);
  EXPECT_EQ(t->sscode(3), 0);
  EXPECT_EQ(t->sscode(4), 0);
}

TEST(SeqFile, FewerRecordsThanResiduesIsAnEndOfFileError) {
  test::TempDir d;
  auto s = test::make_state();
  s->nres = 3;
  test::write_file(d.file("seq.dat"), "1 MET 2 0\n2 LYS 4 0\n");
  bool opened = false;
  EXPECT_THROW(read_seq_file(*s, d.file("seq.dat"), opened), InputError);
}

TEST(LevelFile, WordOrEasy) {
  test::TempDir d;
  EXPECT_EQ(read_level_file(d.file("init.dat")), "easy");
  test::write_file(d.file("init.dat"), "3 hard\n");
  EXPECT_EQ(read_level_file(d.file("init.dat")), "hard");
  test::write_file(d.file("init.dat"), "3\nmedium\n");
  EXPECT_EQ(read_level_file(d.file("init.dat")), "medi");
  test::write_file(d.file("init.dat"), "1 ab\n");
  EXPECT_EQ(read_level_file(d.file("init.dat")), "ab  ");
  test::write_file(d.file("init.dat"), "x hard\n");
  EXPECT_EQ(read_level_file(d.file("init.dat")), "easy");
  test::write_file(d.file("init.dat"), "3\n");
  EXPECT_THROW(read_level_file(d.file("init.dat")), InputError);
}

TEST(Restraints, MissingFilesGiveZeroCounts) {
  test::TempDir d;
  auto s = test::make_state();
  s->nres = 10;
  s->ndist = s->ndistl = s->ncomb = 5;
  read_restraints_in(*s, 0.3f, d.path().string());
  EXPECT_EQ(s->ndist, 0);
  EXPECT_EQ(s->ndistl, 0);
  EXPECT_EQ(s->ncomb, 0);
}

TEST(Restraints, StoresRowsDropsOutsideTheChainAndAppliesTheStrictCutoff) {
  test::TempDir d;
  test::write_file(d.file("dist.dat"), "4\n1 5 0 6.5 1.0\n2 11 0 7.0 1.0\n0 3 0 5.0 0.5\n3 9 1 8.25 2\n");
  test::write_file(d.file("distL.dat"), "2\n1 10 12.5\n4 6 9\n");
  test::write_file(d.file("combCA.dat"), "4\n1 8 0.3\n2 9 0.31\n3 12 0.9\n4 7 0.2\n");
  auto s = test::make_state();
  s->nres = 10;
  CaptureOut out;
  read_restraints_in(*s, 0.3f, d.path().string());
  ASSERT_EQ(s->ndist, 2);
  EXPECT_EQ(s->rsd(1, 2), 5);
  EXPECT_EQ(s->rsd(2, 1), 3);
  EXPECT_FLOAT_EQ(s->drsd(2, 1), 8.25f);
  EXPECT_FLOAT_EQ(s->drsd(2, 2), 2.0f);
  ASSERT_EQ(s->ndistl, 2);
  EXPECT_EQ(s->rsdl(2, 1), 4);
  EXPECT_FLOAT_EQ(s->drsdl(2), 9.0f);
  ASSERT_EQ(s->ncomb, 1);  // 0.3 is not above the cutoff, residue 12 is outside
  EXPECT_EQ(s->combsca(1, 1), 2);
  EXPECT_FLOAT_EQ(s->pcombca(1), 0.31f);
  EXPECT_EQ(out.str(),
            " WARNING!!! dist.dat: 2 rows name residues outside 1..10, dropped\n"
            " WARNING!!! combCA.dat: 1 rows name residues outside 1..10, dropped\n");
}

TEST(Restraints, UnreadableRecordStopsAndShortFileIsAnError) {
  test::TempDir d;
  auto s = test::make_state();
  s->nres = 10;
  test::write_file(d.file("dist.dat"), "3\n1 5 0 6.5 1.0\n2 x 0 7.0 1.0\n3 9 1 8 2\n");
  test::write_file(d.file("distL.dat"), "n\n1 10 12.5\n");
  read_restraints_in(*s, 0.3f, d.path().string());
  EXPECT_EQ(s->ndist, 1);
  EXPECT_EQ(s->ndistl, 0);
  test::write_file(d.file("combCA.dat"), "3\n1 8 0.5\n2 9 0.5\n");
  EXPECT_THROW(read_restraints_in(*s, 0.3f, d.path().string()), InputError);
}

}  // namespace
}  // namespace vorb
