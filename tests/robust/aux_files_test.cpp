// The files a refinement run reads besides the structure (template, fragment library, seq.dat,
// init.dat, the restraint files, PRHB): line ends, long lines and values that are no finite
// number.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <sstream>

#include "io/aux_read.hpp"
#include "io/ffmt.hpp"
#include "restraints/hblist.hpp"
#include "robust/robust_support.hpp"

namespace vorb::test {
namespace {

using Files = std::map<std::string, std::string>;

const char* const kFixedColumn[] = {"t.pdb", "tmpl.pdb", "lib"};
const char* const kFreeForm[] = {"seq.dat", "init.dat", "dist.dat", "distL.dat", "combCA.dat", "PRHB"};

// Every input of "VORB 3 t.pdb lib tmpl.pdb" on the C-alpha trace of a 12-residue chain, each
// file in use: seq.dat covers every residue, the restraints are the chain's own C-alpha
// distances and outnumber its residues, PRHB holds four bonds.
const Files& refinement_inputs() {
  static const Files files = [] {
    Files f;
    std::string trace;
    std::vector<std::string> name;
    std::vector<std::array<float, 3>> ca;
    for (const std::string& l : lines_of(read_file(data_path("sidechains/ubq12.pdb"))))
      if (l.rfind("ATOM", 0) == 0 && l.substr(12, 4) == " CA ") {
        trace += l + '\n';
        name.push_back(l.substr(17, 3));
        ca.push_back({std::stof(l.substr(30, 8)), std::stof(l.substr(38, 8)), std::stof(l.substr(46, 8))});
      }
    const int n = int(ca.size());
    f["t.pdb"] = f["tmpl.pdb"] = trace;
    f["Hdd"] = generated_hdd(trace);
    f["lib"] = read_file(std::string(VORB_SOURCE_DIR) + "/data/BBdat");
    for (int r = 1; r <= n; ++r)
      f["seq.dat"] += std::to_string(r) + " " + name[std::size_t(r - 1)] + (r <= 7 ? " 4 0\n" : " 1 0\n");
    f["init.dat"] = "1 hard\n";
    std::string dist, distl, comb;
    int nd = 0, nc = 0;
    for (int i = 1; i <= n; ++i)
      for (int j = i + 2; j <= n; ++j) {
        const auto& a = ca[std::size_t(i - 1)];
        const auto& b = ca[std::size_t(j - 1)];
        const float d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                  (a[2] - b[2]) * (a[2] - b[2]));
        const std::string pair = std::to_string(i) + " " + std::to_string(j);
        dist += pair + " 0 " + ffmt::fmt_f(d, 6, 2) + " 1.0\n";
        distl += pair + " " + ffmt::fmt_f(d, 6, 2) + "\n";
        ++nd;
        if (d < 8.0f) {
          comb += pair + " 0.9\n";
          ++nc;
        }
      }
    f["dist.dat"] = std::to_string(nd) + "\n" + dist;
    f["distL.dat"] = std::to_string(nd) + "\n" + distl;
    f["combCA.dat"] = std::to_string(nc) + "\n" + comb;
    f["PRHB"] = "1 N 12 O 1\n2 N 10 O 3\n3 N 5 O 1\n4 N 7 O 3\n";
    return f;
  }();
  return files;
}

struct Refinement : Workdir {
  explicit Refinement(const Files& files) {
    for (const auto& [name, text] : files) put(name, text);
  }
  RunResult run3() const { return run("3 t.pdb lib tmpl.pdb"); }
};

std::string transformed(const std::string& text, const std::function<std::string(const std::string&)>& line) {
  std::string t;
  for (const std::string& l : lines_of(text)) t += line(l);
  return t;
}

std::string lower(std::string t) {
  for (char& c : t) c = char(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

// A model or a report holding a value that is no finite number.
bool has_non_finite(const std::string& text) {
  const std::string t = lower(text);
  return t.find("nan") != std::string::npos || t.find("inf") != std::string::npos;
}

// CRLF line ends everywhere; fixed-column lines carry text beyond column 100, free-form lines
// put their values beyond column 100. The run must not notice.
TEST(AuxFiles, CrlfLineEndsAndLongLinesReadAsPlainLines) {
  const Files& plain = refinement_inputs();
  Files odd = plain;
  for (const char* f : kFixedColumn)
    odd[f] = transformed(plain.at(f), [](const std::string& l) {
      return l + std::string(100 - std::min<std::size_t>(l.size(), 100), ' ') + "beyond column 100\r\n";
    });
  for (const char* f : kFreeForm)
    odd[f] = transformed(plain.at(f), [](const std::string& l) { return std::string(100, ' ') + l + "\r\n"; });
  odd["Hdd"] = transformed(plain.at("Hdd"), [](const std::string& l) { return l + "\r\n"; });

  Refinement a(plain), b(odd);
  RunResult ra = a.run3(), rb = b.run3();
  ASSERT_EQ(ra.status, 0) << ra.err;
  ASSERT_EQ(ra.err, "");
  // Every file was taken: none of the warnings about a missing or unusable one.
  for (const char* w : {"seq.dat", "No template", "ZEPHAL", "no predicted Hbond", "PRHB lines skipped"})
    EXPECT_EQ(ra.out.find(w), std::string::npos) << w << "\n" << ra.out;
  EXPECT_EQ(rb.status, 0) << rb.err;
  EXPECT_EQ(rb.out, ra.out);
  ASSERT_EQ(a.written(), (std::set<std::string>{"t.pdb.fix", "t.pdb.h"}));
  ASSERT_EQ(b.written(), a.written());
  for (const std::string& f : a.written()) EXPECT_EQ(b.read(f), a.read(f)) << f;
}

// Restraint rows with values beyond single precision are dropped and counted; numbers where
// seq.dat and PRHB want integers make the record unreadable. The run ends normally with finite
// energies and models.
TEST(AuxFiles, HugeValuesEndInFiniteModels) {
  Files f = refinement_inputs();
  std::vector<std::string> seq = lines_of(f["seq.dat"]);
  seq[2] = "3 ILE nan 0";
  f["seq.dat"] = joined(seq);
  std::vector<std::string> dist = lines_of(f["dist.dat"]), distl = lines_of(f["distL.dat"]);
  dist[1] = "1 5 0 1e39 1.0";
  dist[2] = "2 6 0 5.0 1e39";
  distl[1] = "1 5 1e39";
  distl[2] = "2 6 -1e39";
  f["dist.dat"] = joined(dist);
  f["distL.dat"] = joined(distl);
  f["PRHB"] += "90 N nan O 5\n91 N 99999999999 O 5\n92 N 1e39 O 4\n";
  std::vector<std::string> comb = lines_of(f["combCA.dat"]);
  comb[1] = comb[1].substr(0, comb[1].rfind(' ')) + " 1e39";
  f["combCA.dat"] = joined(comb);

  Refinement wd(f);
  RunResult r = wd.run3();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> out = lines_of(r.out);
  for (const char* w : {" WARNING!! seq.dat is different to the structure, not use seq instead",
                        " warning: 3 PRHB lines skipped (unreadable, or a residue outside 1..12)",
                        " WARNING!!! dist.dat: 2 rows hold a value beyond single precision, dropped",
                        " WARNING!!! distL.dat: 2 rows hold a value beyond single precision, dropped",
                        " WARNING!!! combCA.dat: 1 rows hold a value beyond single precision, dropped"})
    EXPECT_NE(std::find(out.begin(), out.end(), w), out.end()) << w << "\n" << r.out;
  EXPECT_FALSE(has_non_finite(r.out)) << r.out;
  ASSERT_EQ(wd.written(), (std::set<std::string>{"t.pdb.fix", "t.pdb.h"}));
  EXPECT_FALSE(has_non_finite(wd.read("t.pdb.fix")));
  EXPECT_FALSE(has_non_finite(wd.read("t.pdb.h")));
}

// A template line that cannot be read is a read error, as in the structure file.
TEST(BadTemplate, MalformedRecordIsAReadError) {
  const std::string line = lines_of(refinement_inputs().at("tmpl.pdb"))[1];
  struct Case {
    std::string line, error;
  };
  const Case cases[] = {
      {line.substr(0, 30) + "     nan" + line.substr(38), "tmpl.pdb:2: column 31: expected F8.3 number, found \"     nan\""},
      {line.substr(0, 22) + "  x2" + line.substr(26), "tmpl.pdb:2: column 23: expected I4 integer, found \"  x2\""},
      {line.substr(0, 45), "tmpl.pdb:2: ATOM record ends at column 45, before its coordinates end at column 54 (truncated file?)"},
  };
  Refinement wd(refinement_inputs());
  for (const Case& c : cases) {
    std::vector<std::string> t = lines_of(refinement_inputs().at("tmpl.pdb"));
    t[1] = c.line;
    wd.put("tmpl.pdb", joined(t));
    expect_refused(wd, wd.run3(), 2, c.error, c.error);
  }
}

// The free-form readers one by one: "nan" and "inf" are no numbers, 1e39 is an infinite real and
// no integer. A restraint row holding an infinite value is dropped and counted: one such
// probability would make every energy of a refinement infinite.
TEST(ExtremeValues, FreeFormReaders) {
  auto s = make_state();
  s->nres = 10;
  testing::internal::CaptureStdout();
  std::istringstream dist("5\n1 5 0 1e39 1.0\n2 6 0 5.0 -1e39\n4 8 0 5.0 1.0\n3 7 0 nan 1.0\n4 9 0 5.0 1.0\n");
  read_restraint_stream(*s, RestraintFile::dist, dist, "dist.dat", 0.3f);
  ASSERT_EQ(s->ndist, 1);  // two dropped, one kept, then the "nan" row stops the reading
  EXPECT_EQ(s->rsd(1, 2), 8);
  std::istringstream distl("3\n1 5 -1e39\n3 7 9.0\n2 6 inf\n");
  read_restraint_stream(*s, RestraintFile::distl, distl, "distL.dat", 0.3f);
  ASSERT_EQ(s->ndistl, 1);
  EXPECT_EQ(s->drsdl(1), 9.0f);
  std::istringstream comb("3\n1 5 1e39\n2 6 0.5\n2 6 nan\n");
  read_restraint_stream(*s, RestraintFile::comb, comb, "combCA.dat", 0.3f);
  ASSERT_EQ(s->ncomb, 1);
  EXPECT_EQ(s->pcombca(1), 0.5f);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " WARNING!!! dist.dat: 2 rows hold a value beyond single precision, dropped\n"
            " WARNING!!! distL.dat: 1 rows hold a value beyond single precision, dropped\n"
            " WARNING!!! combCA.dat: 1 rows hold a value beyond single precision, dropped\n");

  std::istringstream seq("1 MET 2 0\n2 LYS 1e39 0\n3 ALA 2 0\n");
  EXPECT_EQ(read_seq_stream(*s, seq, "seq.dat"), 1);
  std::istringstream seq_big("1 MET 99999999999 0\n");
  EXPECT_EQ(read_seq_stream(*s, seq_big, "seq.dat"), 0);

  TempDir d;
  for (auto [text, level] : {std::pair{"nan hard\n", "easy"}, {"1e39 hard\n", "easy"}, {"1 nan\n", "nan "}}) {
    write_file(d.file("init.dat"), text);
    EXPECT_EQ(read_level_file(d.file("init.dat")), level) << text;
  }

  s->natom = 100;
  for (int r = 1; r <= 10; ++r) s->ica(r) = 10 * r - 8;
  std::istringstream prhb("1 N 5 O 1\n2 N nan O 1\n3 N 99999999999 O 1\n4 N 1e39 O 1\n5 N 6 O inf\n");
  testing::internal::CaptureStdout();
  auto bonds = read_prhb_stream(*s, prhb);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " warning: 4 PRHB lines skipped (unreadable, or a residue outside 1..10)\n");
  EXPECT_EQ(bonds.size(), 1u);
}

}  // namespace
}  // namespace vorb::test
