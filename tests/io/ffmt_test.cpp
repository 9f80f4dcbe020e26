#include "io/ffmt.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "model/errors.hpp"

namespace vorb::ffmt {
namespace {

TEST(FfmtWrite, IntegersRightJustifiedOrAsterisks) {
  EXPECT_EQ(fmt_i(-12, 3), "-12");
  EXPECT_EQ(fmt_i(-123, 3), "***");
  EXPECT_EQ(fmt_i(1234, 3), "***");
  EXPECT_EQ(fmt_i(7, 4), "   7");
  for (long v : {0L, -12L, -123L, 1234L, 7L, 99999L})
    for (int w : {1, 3, 5}) EXPECT_EQ(RecordWriter().i(v, w).str(), fmt_i(v, w)) << v << " " << w;
}

TEST(FfmtWrite, RealsLikeFortran) {
  EXPECT_EQ(fmt_f(0.125f, 4, 2), "0.12");   // exact binary value, tie to even
  EXPECT_EQ(fmt_f(0.5f, 4, 3), ".500");     // leading zero dropped only when needed
  EXPECT_EQ(fmt_f(0.5f, 5, 3), "0.500");
  EXPECT_EQ(fmt_f(-0.5f, 5, 3), "-.500");
  EXPECT_EQ(fmt_f(2.5f, 5, 0), "   2.");    // the point is always written
  EXPECT_EQ(fmt_f(-0.0004f, 6, 3), "-0.000");
  EXPECT_EQ(fmt_f(1000000.0f, 10, 3), "**********");
  EXPECT_EQ(fmt_f(999999.9f, 10, 3), "999999.875");
  EXPECT_EQ(fmt_f(12.3456f, 8, 3), "  12.346");
  EXPECT_EQ(fmt_f(-0.0, 6, 2), " -0.00");
  // Every value written as the C library's "%#.*f" writes it: random single-precision values
  // over many magnitudes, exact binary ties and their neighbours.
  std::uint32_t x = 12345;
  char want[512];
  for (int k = 0; k < 40000; ++k) {
    x = x * 1664525u + 1013904223u;
    const float v = std::ldexp(float(x % 2000001) / 1000.0f - 1000.0f, int(x >> 27) - 16);
    for (int d : {0, 1, 3, 4}) {
      for (double t : {double(v), double(v) + 0.0005, std::nextafter(double(v) + 0.0005, 0.0)}) {
        std::snprintf(want, sizeof want, "%#.*f", d, t);
        const std::string got = fmt_f(t, 60, d);
        ASSERT_EQ(got.substr(got.find_first_not_of(' ')), want) << t << " " << d;
        for (int w : {6, 9, 14}) ASSERT_EQ(RecordWriter().f(t, w, d).str(), fmt_f(t, w, d)) << t << " " << w;
      }
    }
  }
  // Exact binary halves at every number of decimals up to 12, and doubles up to 1e16 (where
  // the rounding of v * 10^d is no longer exact enough and to_chars decides).
  for (int k = 0; k < 20000; ++k) {
    x = x * 1664525u + 1013904223u;
    const int d = int(x % 13);
    const double half = std::ldexp(double(x >> 8) * 2 + 1, -int(1 + x % 40));
    const double big = std::ldexp(double(x), int(x % 24));
    for (double t : {half, -half, big, std::nextafter(half, 1e300), std::nextafter(half, 0.0)}) {
      std::snprintf(want, sizeof want, "%#.*f", d, t);
      const std::string got = fmt_f(t, 80, d);
      ASSERT_EQ(got.substr(got.find_first_not_of(' ')), want) << t << " " << d;
    }
  }
}

TEST(FfmtWrite, TextRightJustifiedOrCut) {
  EXPECT_EQ(fmt_a("AB", 6), "    AB");
  EXPECT_EQ(fmt_a("ABCDEF", 2), "AB");
  RecordWriter w;
  w.a("ATOM").i(5, 7).x(1).a(" CA ", 4);
  EXPECT_EQ(w.str(), "ATOM      5  CA ");
}

TEST(FfmtRead, FieldsBlanksAndImpliedDecimals) {
  RecordReader r("   12 12345  1.5    ab", "f", 3);
  EXPECT_EQ(r.i(5), 12);
  EXPECT_FLOAT_EQ(r.f(6, 2), 123.45f);  // no point: two implied decimals
  EXPECT_FLOAT_EQ(r.f(5, 3), 1.5f);     // an explicit point overrides d
  EXPECT_EQ(r.i(3), 0);                 // blank field
  EXPECT_THROW(r.i(3), InputError);     // "ab"
  RecordReader short_line("  7", "f", 1);
  EXPECT_EQ(short_line.i(2), 0);
  EXPECT_EQ(short_line.i(4), 7);        // beyond the end reads as blanks
  EXPECT_EQ(short_line.a(3), "   ");
  RecordReader exp("1.5E2 -2d-1", "f", 1);
  EXPECT_FLOAT_EQ(exp.f(6, 0), 150.0f);
  EXPECT_FLOAT_EQ(exp.f(5, 0), -0.2f);
  // Plain decimals read as the same values as the general path gives them (with an exponent).
  for (const char* t : {"-0.600", "12.5", "-.5", "5.", "0.1", "3.4028235", "1234567.89", "-0.0"}) {
    const std::string plain = std::string("  ") + t, general = std::string(t) + "e0";
    RecordReader a(plain, "f", 1), b(general, "f", 1);
    const float x = a.f(int(plain.size()), 3), y = b.f(int(general.size()), 3);
    EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0) << t;
    double dx = 0, dy = 0;
    ASSERT_TRUE(parse_f(plain, 3, dx) && parse_f(general, 3, dy));
    EXPECT_EQ(dx, dy) << t;
  }
  RecordReader blank_inside("1 .5", "f", 1);
  EXPECT_FLOAT_EQ(blank_inside.f(4, 0), 1.5f);  // blanks inside a field are ignored
}

TEST(FfmtRead, ErrorNamesFileLineAndColumn) {
  RecordReader r("12345678ab", "Hdd", 12);
  r.x(8);
  try {
    r.i(2);
    FAIL();
  } catch (const InputError& e) {
    EXPECT_STREQ(e.what(), "Hdd:12: column 9: expected I2 integer, found \"ab\"");
  }
  RecordReader lone("  - ", "f", 1);
  EXPECT_THROW(lone.f(4, 1), InputError);
}

TEST(FfmtList, ReadsAcrossLinesAndDropsTheRest) {
  std::istringstream in("1, 2\n\n3 4 5\n6.5 word\n");
  ListReader lr(in, "f");
  int a = 0, b = 0, c = 0;
  EXPECT_EQ(lr.read(a, b, c), ReadStatus::ok);  // takes 3 from the next record
  EXPECT_EQ(c, 3);
  float x = 0;
  std::string w;
  EXPECT_EQ(lr.read(x, w), ReadStatus::ok);     // "4 5" dropped with the record
  EXPECT_FLOAT_EQ(x, 6.5f);
  EXPECT_EQ(w, "word");
  EXPECT_EQ(lr.read(a), ReadStatus::eof);

  std::istringstream bad("1 x 3\n");
  ListReader lb(bad, "f");
  EXPECT_EQ(lb.read(a, b), ReadStatus::error);
  std::istringstream real_for_int("1.5\n");
  ListReader lr2(real_for_int, "f");
  EXPECT_EQ(lr2.read(a), ReadStatus::error);
}

TEST(FfmtList, OutputStartsWithOneBlank) {
  ListWriter w;
  w << "read pdb file err, total atoms" << 5;
  EXPECT_EQ(w.str(), " read pdb file err, total atoms 5");
  ListWriter v;
  v << "HBlist" << 3;
  v.logical(true);
  v << 0.25f;
  EXPECT_EQ(v.str(), " HBlist 3 T 0.25");
}

// A field with its point where F w.d puts it reads as the float nearest its decimal (from_chars),
// over every width and number of decimals the files use, signs and leading blanks included.
TEST(FfmtRead, PointFieldsReadAsTheNearestFloat) {
  std::uint32_t x = 99;
  char f[32];
  for (int k = 0; k < 30000; ++k) {
    x = x * 1664525u + 1013904223u;
    const int d = int(x % 9), w = d + 2 + int((x >> 4) % 6);
    const double v = (double(x >> 8) / double(1 << 24) - 0.5) * std::pow(10.0, double((x >> 12) % 7));
    std::snprintf(f, sizeof f, "%*.*f", w, d, v);
    const std::string field(f);
    if (int(field.size()) != w) continue;  // too wide for the field
    float want = 0;
    const std::size_t b = field.find_first_not_of(' ');
    std::from_chars(field.data() + b, field.data() + field.size(), want);
    RecordReader r(field, "f", 1);
    const float got = r.f(w, d);
    ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "\"" << field << "\" F" << w << "." << d;
  }
}

// Block reading must cut lines as getline does, also where a line straddles two blocks or is
// longer than one, with carriage returns and without a final end of line.
TEST(FfmtRead, BlockLinesCutLinesAsGetline) {
  std::string text;
  for (int k = 0; k < 5000; ++k) text += std::string(std::size_t(k % 97), 'a' + char(k % 26)) + (k % 7 ? "\n" : "\r\n");
  text += std::string(200000, 'z') + "\n\n  last";
  std::istringstream a(text), b(text);
  BlockLines lines(a);
  std::string want;
  std::string_view got;
  int n = 0;
  while (get_line(b, want)) {
    ASSERT_TRUE(lines.next(got)) << n;
    ASSERT_EQ(got, want) << n;
    ++n;
  }
  EXPECT_FALSE(lines.next(got));
  EXPECT_EQ(n, 5003);
}

}  // namespace
}  // namespace vorb::ffmt
