#include "hdd.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "hdd_residues.hpp"
#include "io/topology_read.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"
#include "support/pdb_lines.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

const Tables& committed_tables() {
  static const Tables t = read_tables(std::string(VORB_SOURCE_DIR) + "/data/tables");
  return t;
}

std::vector<int> types_of(const std::string& seq) {
  std::vector<int> t;
  for (char c : seq) t.push_back(residue_type_1(c));
  return t;
}

// Writes the topology of a sequence and reads it back with the program's own reader.
std::unique_ptr<ModelState> round_trip(const std::vector<int>& types, const test::TempDir& dir) {
  Topology top = build_topology(types, committed_tables());
  std::string path = dir.file("Hdd");
  write_hdd(top, committed_tables(), path);
  auto s = test::make_state();
  read_topology(*s, path);
  return s;
}

bool is_h(const ModelState& s, int i) { return s.aty(i) == 'H'; }

// The angle the builders find for (first, centre, third) in the block of residue r: the first
// non-empty record that is (a, c, b), or (b, anything, a).
const float* lookup(const ModelState& s, int r, int a, int c, int b) {
  for (int m = (r - 1) * 45 + 1; m <= r * 45; ++m) {
    if (s.anga(m, 1) <= 0) continue;
    if ((s.anga(m, 1) == a && s.anga(m, 2) == c && s.anga(m, 3) == b) ||
        (s.anga(m, 1) == b && s.anga(m, 3) == a))
      return &s.ang(m, 2);
  }
  return nullptr;
}

// Every convention the readers and builders rely on, checked on a topology read back.
void check_topology(const ModelState& s, const std::vector<int>& types) {
  const int nres = int(types.size());
  ASSERT_EQ(s.nres, nres);
  EXPECT_EQ(s.nang, 45 * nres);
  EXPECT_EQ(s.npot, 80);
  for (int r = 1; r <= nres; ++r) {
    const int type = types[std::size_t(r - 1)], ca = s.ica(r), h = hra[std::size_t(type)];
    SCOPED_TRACE("residue " + std::to_string(r) + " " + std::string(afn[std::size_t(type)]));
    ASSERT_EQ(s.ityp(r), type);
    EXPECT_TRUE(s.atom(ca - 1, 1) == " N  ");
    EXPECT_TRUE(s.atom(ca + 1, 1) == " C  ");
    EXPECT_TRUE(s.atom(ca + 2, 1) == " O  ");
    if (type != kGly) {
      EXPECT_TRUE(s.atom(ca + 3, 1) == " CB ");
    }
    for (int i = ca - 1; i <= ca + h - 2; ++i) EXPECT_FALSE(is_h(s, i)) << i;
    // The slot after the heavy atoms: OXT in the last residue, then the amide H.
    int slot = ca + h - 1;
    if (r == nres) {
      EXPECT_TRUE(s.atom(slot++, 1) == " OXT");
    }
    if (r == 1) {
      EXPECT_TRUE(s.atom(slot, 1) == "1H  ");
    } else if (type != kPro) {
      EXPECT_TRUE(s.atom(slot, 1) == " H  ");
    } else if (slot <= s.natom && s.ress2(slot) == r) {
      EXPECT_FALSE(s.atom(slot, 1) == " H  ");
    }
    int heavy = 0;
    for (int i = ca - 1; i <= s.natom && s.ress2(i) == r; ++i) heavy += !is_h(s, i);
    EXPECT_EQ(heavy, h + (r == nres));
  }

  for (int i = 1; i <= s.natom; ++i) {
    SCOPED_TRACE("atom " + std::to_string(i) + " " + s.atom(i, 1).str());
    const int np = s.bonda(i, 5);
    ASSERT_GE(np, 1);
    // Partners are mutual, with one length.
    for (int k = 1; k <= np; ++k) {
      int p = s.bonda(i, k), back = 0;
      for (int m = 1; m <= s.bonda(p, 5); ++m)
        if (s.bonda(p, m) == i) back = m;
      ASSERT_GT(back, 0) << "partner " << p;
      EXPECT_FLOAT_EQ(s.bond(i, 2 * k), s.bond(p, 2 * back));
      EXPECT_GT(s.bond(i, 2 * k), 0.9f);
      EXPECT_LT(s.bond(i, 2 * k), 1.9f);
    }
    if (!is_h(s, i)) {
      // The first partner of a heavy atom lies toward the backbone (lower index), except for
      // the amino-terminal N; hydrogens come after the heavy partners.
      if (i > 1) {
        EXPECT_LT(s.bonda(i, 1), i);
      }
      for (int k = 2; k <= np; ++k) {
        if (is_h(s, s.bonda(i, k - 1))) {
          EXPECT_TRUE(is_h(s, s.bonda(i, k)));
        }
      }
      bool acceptor = s.aty(i) == 'O' || (s.atom(i, 1) == " ND1" && s.resd2(i) == "HIS");
      EXPECT_EQ(s.atmhb(i), acceptor ? 1 : 0);
      continue;
    }
    // A hydrogen: one partner, its parent, in its residue; polar ones donate.
    ASSERT_EQ(np, 1);
    const int p = s.bonda(i, 1);
    EXPECT_FALSE(is_h(s, p));
    EXPECT_EQ(s.ress2(p), s.ress2(i));
    char pe = s.aty(p);
    EXPECT_EQ(s.atmhb(i), pe == 'N' || pe == 'O' || pe == 'S' ? -1 : 0);
    EXPECT_GT(s.atmpar(i, 3), 0.5f);
    // Hydrogens of one parent are consecutive and named for their group.
    if (i > 1 && is_h(s, i - 1) && s.bonda(i - 1, 1) == p) continue;
    int n = 0;
    while (i + n <= s.natom && is_h(s, i + n) && s.bonda(i + n, 1) == p) ++n;
    for (int j = i + n; j <= s.natom; ++j) EXPECT_FALSE(is_h(s, j) && s.bonda(j, 1) == p);
    ASSERT_LE(n, 3);
    if (n == 1) {
      EXPECT_TRUE(s.atom(i, 1).starts_with(" H"));
    } else {
      for (int k = 0; k < n; ++k)
        EXPECT_TRUE(s.atom(i + k, 1).starts_with(std::string(1, char('1' + k)) + "H"));
    }
    // Every bond angle K-P-H the hydrogen builder may look up, K any heavy partner of P.
    for (int k = 1; k <= s.bonda(p, 5); ++k) {
      int kk = s.bonda(p, k);
      if (is_h(s, kk)) continue;
      const float* a = lookup(s, s.ress2(i), kk, p, i);
      ASSERT_NE(a, nullptr) << "K=" << kk << " P=" << p;
      EXPECT_GE(*a, 105.0f);
      EXPECT_LE(*a, 127.0f);
    }
  }

  // Every q-p-J angle the side-chain regulariser looks up, q the first heavy partner of p
  // below J, p the first heavy partner of J.
  for (int r = 1; r <= nres; ++r) {
    const int ca = s.ica(r), last = ca + hra[std::size_t(s.ityp(r))] - 2;
    for (int j = ca + 3; j <= last; ++j) {
      int p = 0, q = 0;
      for (int k = 1; k <= s.bonda(j, 5) && !p; ++k)
        if (!is_h(s, s.bonda(j, k))) p = s.bonda(j, k);
      for (int k = 1; k <= s.bonda(p, 5) && !q; ++k)
        if (!is_h(s, s.bonda(p, k)) && s.bonda(p, k) < j) q = s.bonda(p, k);
      ASSERT_GT(q, 0) << "J=" << j;
      const float* a = lookup(s, r, q, p, j);
      ASSERT_NE(a, nullptr) << "J=" << j;
      EXPECT_GT(*a, 95.0f);
      EXPECT_LT(*a, 140.0f);
    }
  }
}

TEST(HddGenerator, EveryResidueTypeAtEveryPosition) {
  // Each rotation puts another type first and last; all twenty sit inside every chain.
  const std::string all = "GASCVTIPMDNLKEQRHFYW";
  for (std::size_t k = 0; k < all.size(); ++k) {
    std::string seq = all.substr(k) + all.substr(0, k);
    SCOPED_TRACE(seq);
    test::TempDir dir;
    auto s = round_trip(types_of(seq), dir);
    check_topology(*s, types_of(seq));
  }
}

TEST(HddGenerator, RandomLongSequenceAndSingleResidues) {
  std::mt19937 gen(20240607u);
  std::vector<int> types;
  for (int k = 0; k < 300; ++k) types.push_back(int(gen() % 20u) + 1);
  test::TempDir dir;
  auto s = round_trip(types, dir);
  check_topology(*s, types);
  for (int t : {kGly, kPro, kTrp}) {  // a residue that is first and last at once
    auto one = round_trip({t}, dir);
    check_topology(*one, {t});
  }
}

TEST(HddGenerator, BuilderReferencesPointTowardTheBackbone) {
  test::TempDir dir;
  auto s = round_trip(types_of("AKAPA"), dir);
  const ModelState& m = *s;
  // "First placed partner" with the backbone and CB placed and the rest missing.
  const int lys = 2, ca = m.ica(lys);
  auto placed = [&](int i, int upto) { return !is_h(m, i) && i <= upto; };
  auto first_placed = [&](int i, int upto, int skip) {
    for (int k = 1; k <= m.bonda(i, 5); ++k)
      if (placed(m.bonda(i, k), upto) && m.bonda(i, k) != skip) return m.bonda(i, k);
    return 0;
  };
  // Lysine CG, CD, CE, NZ: parent P, its first placed partner K and K's next heavy partner L
  // make the all-trans chain (CG uses C in place of L).
  struct Want {
    int j, p, k, l;
  } want[] = {{ca + 4, ca + 3, ca, ca + 1},
              {ca + 5, ca + 4, ca + 3, ca},
              {ca + 6, ca + 5, ca + 4, ca + 3},
              {ca + 7, ca + 6, ca + 5, ca + 4}};
  for (const Want& w : want) {
    int p = first_placed(w.j, w.j - 1, 0), k = first_placed(p, w.j - 1, 0);
    int l = w.j == ca + 4 ? k + 1 : first_placed(k, w.j - 1, p);
    EXPECT_EQ(p, w.p);
    EXPECT_EQ(k, w.k);
    EXPECT_EQ(l, w.l);
  }
  // Alanine CA lists N, C, CB, HA; the methyl's reference K is CA and L1 is N.
  const int ala = m.ica(3);
  EXPECT_EQ(m.bonda(ala, 1), ala - 1);
  EXPECT_EQ(m.bonda(ala, 2), ala + 1);
  EXPECT_EQ(m.bonda(ala, 3), ala + 3);
  EXPECT_TRUE(m.atom(m.bonda(ala, 4), 1) == " HA ");
  EXPECT_EQ(m.bonda(ala + 3, 1), ala);
  EXPECT_EQ(first_placed(ala, ala + 3, ala + 3), ala - 1);
  // The N of residue i lists C of residue i-1 first; the proline N has no H but its CD.
  EXPECT_EQ(m.bonda(m.ica(4) - 1, 1), m.ica(3) + 1);
  EXPECT_EQ(m.bonda(m.ica(4) - 1, 2), m.ica(4));
  EXPECT_TRUE(m.atom(m.bonda(m.ica(4) - 1, 3), 1) == " CD ");
  // The amino-terminal N carries three hydrogens with the tetrahedral angle from CA.
  EXPECT_EQ(m.bonda(1, 5), 4);
  EXPECT_FLOAT_EQ(*lookup(m, 1, 2, 1, m.bonda(1, 4)), 109.5f);
  // The amide H angle puts H on the bisector of C(i-1)-N-CA.
  int n2 = m.ica(2) - 1, h2 = m.bonda(n2, 3);
  float cnca = *lookup(m, 2, m.bonda(n2, 1), n2, m.bonda(n2, 2));
  EXPECT_FLOAT_EQ(*lookup(m, 2, m.bonda(n2, 1), n2, h2), (360.0f - cnca) / 2);
}

TEST(HddGenerator, AminoTerminalProlineHasAPair) {
  test::TempDir dir;
  auto s = round_trip(types_of("PG"), dir);
  const int n = 1;
  EXPECT_EQ(s->bonda(n, 5), 4);
  EXPECT_TRUE(s->atom(s->bonda(n, 3), 1) == "1H  ");
  EXPECT_TRUE(s->atom(s->bonda(n, 4), 1) == "2H  ");
}

TEST(HddGenerator, RejectsChainsBeyondTheCapacity) {
  std::vector<int> ok(3000, kGly), big(3001, kGly);
  EXPECT_NO_THROW(build_topology(ok, committed_tables()));
  EXPECT_THROW(build_topology(big, committed_tables()), InputError);
  EXPECT_THROW(build_topology({}, committed_tables()), InputError);
}

TEST(HddGenerator, SerialsOfLargeTopologiesStayReadable) {
  test::TempDir dir;
  std::vector<int> lys(1000, kLys);
  auto s = round_trip(lys, dir);
  EXPECT_EQ(s->natom, int(build_topology(lys, committed_tables()).atoms.size()));
  EXPECT_GT(s->natom, 9999);
  EXPECT_TRUE(s->atom(s->natom, 1) == "3HZ ");
}

// ---- the command ---------------------------------------------------------------------------

std::string example(const char* name) { return std::string(VORB_SOURCE_DIR) + "/examples/" + name; }

TEST(HddCommand, FixtureRunsThroughTheAnalysisModes) {
  test::TempDir dir;
  test::RunResult r = test::run_tools(
      dir.path(), "hdd '" + example("1ubi_a.pdb") + "' -o Hdd --renumbered ubi.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  auto s = test::make_state();
  read_topology(*s, dir.file("Hdd"));
  EXPECT_EQ(s->nres, 76);
  Chain renum = read_chain(dir.file("ubi.pdb"));
  Chain orig = read_chain(example("1ubi_a.pdb"));
  ASSERT_EQ(renum.res.size(), 76u);
  for (std::size_t i = 0; i < renum.res.size(); ++i) {
    EXPECT_EQ(renum.res[i].num, int(i) + 1);
    EXPECT_EQ(renum.res[i].name, orig.res[i].name);
    EXPECT_EQ(renum.res[i].atoms.size(), orig.res[i].atoms.size());
  }
  for (const char* mode : {"7", "8"}) {
    test::RunResult v = test::run_vorb(dir.path(), std::string(mode) + " ubi.pdb");
    EXPECT_EQ(v.status, 0) << mode << ": " << v.err;
  }
  // The propensity grid lets the torsion assignment find the helix 23-34.
  std::string seq0 = test::read_file(dir.file("seq0.dat"));
  ASSERT_EQ(seq0.size(), 76u * 22u);  // (I5,3X,A3,1X,I4,1X,I4) lines
  for (int r = 24; r <= 32; ++r)
    EXPECT_EQ(seq0.substr(std::size_t(r - 1) * 22 + 12, 4), "   2") << r;
  // The same input gives the same file.
  test::RunResult again =
      test::run_tools(dir.path(), "hdd '" + example("1ubi_a.pdb") + "' -o Hdd2");
  ASSERT_EQ(again.status, 0);
  EXPECT_EQ(test::read_file(dir.file("Hdd")), test::read_file(dir.file("Hdd2")));
  EXPECT_EQ(again.err, "");
}

TEST(HddCommand, NumberingIsExplainedAndRenumbered) {
  test::TempDir dir;
  // Residues 5, 6, 6A (insertion code), 9, with a B alternate location that is not read.
  std::string text = "HEADER    TEST\n";
  int serial = 0;
  struct R {
    const char* name;
    int num;
    char icode;
  } res[] = {{"ALA", 5, ' '}, {"GLY", 6, ' '}, {"SER", 6, 'A'}, {"LYS", 9, ' '}};
  for (const R& r : res)
    for (const char* atom : {" N  ", " CA ", " C  ", " O  "}) {
      std::string l = test::atom_line(++serial, atom, r.name, r.num, 1.0f, 2.0f, 3.0f);
      l[26] = r.icode;
      text += l + "\n";
      if (r.num == 9) {
        l[16] = 'B';
        text += l + "\n";
      }
    }
  text += "TER\nATOM    999  CA  ALA B   1       0.000   0.000   0.000\nEND\n";
  test::write_file(dir.file("in.pdb"), text);
  test::RunResult r = test::run_tools(dir.path(), "hdd in.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("jumps 1 time(s), first from SER 6A to LYS 9"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("do not increase 1 time(s), first from GLY 6 to SER 6A"), std::string::npos);
  EXPECT_NE(r.err.find("not numbered 1..4"), std::string::npos);
  r = test::run_tools(dir.path(), "hdd in.pdb --renumbered out.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("note"), std::string::npos) << r.err;
  Chain c = read_chain(dir.file("out.pdb"));
  ASSERT_EQ(c.res.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(c.res[i].num, int(i) + 1);
    EXPECT_EQ(c.res[i].icode, ' ');
    EXPECT_EQ(c.res[i].name, res[i].name);
  }
  std::string out = test::read_file(dir.file("out.pdb"));
  EXPECT_EQ(out.find("HEADER"), std::string::npos);
  EXPECT_NE(out.find(" 1.00 20.00           C"), std::string::npos);  // columns past 54 kept
  EXPECT_EQ(out.substr(out.size() - 8), "TER\nEND\n");
}

// Nothing of the run stays in a directory: no output, no temporary file.
std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HddCommand, TopologyAndRenumberedCopyAppearTogether) {
  test::TempDir dir;
  std::filesystem::copy_file(example("1ubi_a.pdb"), dir.file("in.pdb"));
  std::filesystem::create_directory(dir.file("sub"));
  std::filesystem::create_directory(dir.file("taken"));
  struct Case {
    std::string args, message;
  } cases[] = {
      {"-o sub/Hdd --renumbered none/ren.pdb", "none/ren.pdb"},
      {"-o none/Hdd --renumbered sub/ren.pdb", "none/Hdd"},
      {"-o sub/Hdd --renumbered taken", "Is a directory"},
      {"-o taken --renumbered sub/ren.pdb", "Is a directory"},
  };
  for (const Case& c : cases) {
    test::RunResult r = test::run_tools(dir.path(), "hdd in.pdb " + c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    EXPECT_EQ(entries(dir.file("sub")), std::vector<std::string>{}) << c.args;
    EXPECT_EQ(entries(dir.path().string()),
              (std::vector<std::string>{"in.pdb", "sub", "taken"}))
        << c.args;
  }
  // A failed run leaves an earlier pair as it was; a good one replaces both.
  test::write_file(dir.file("sub/Hdd"), "old topology\n");
  test::write_file(dir.file("sub/ren.pdb"), "old copy\n");
  test::RunResult r = test::run_tools(dir.path(), "hdd in.pdb -o sub/Hdd --renumbered taken");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(test::read_file(dir.file("sub/Hdd")), "old topology\n");
  r = test::run_tools(dir.path(), "hdd in.pdb -o sub/Hdd --renumbered sub/ren.pdb");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(test::read_file(dir.file("sub/Hdd")), "old topology\n");
  EXPECT_EQ(test::read_file(dir.file("sub/ren.pdb")).substr(0, 4), "ATOM");
  EXPECT_EQ(entries(dir.file("sub")), (std::vector<std::string>{"Hdd", "ren.pdb"}));
}

TEST(HddCommand, SequenceOption) {
  test::TempDir dir;
  test::RunResult r = test::run_tools(dir.path(), "hdd --sequence acdefghiklmnpqrstvwy -o H20");
  ASSERT_EQ(r.status, 0) << r.err;
  auto s = test::make_state();
  read_topology(*s, dir.file("H20"));
  EXPECT_EQ(s->nres, 20);
  EXPECT_EQ(s->ityp(1), kAla);
  EXPECT_EQ(s->ityp(20), kTyr);
}

TEST(HddCommand, BadInputIsReportedAndNothingWritten) {
  test::TempDir dir;
  std::string lines;
  int serial = 0, num = 9;
  for (const char* res : {"ALA", "MSE", "GLY"}) {
    ++num;
    for (const char* name : {" N  ", " CA ", " C  ", " O  "})
      lines += test::atom_line(++serial, name, res, num, 1.0f, 2.0f, 3.0f) + "\n";
  }
  test::write_file(dir.file("bad.pdb"), lines);
  test::write_file(dir.file("empty.pdb"),
                   "REMARK nothing\nHETATM    1  C   LIG A   1       0.000   0.000   0.000\n");
  struct Case {
    std::string args, message;
  } cases[] = {
      {"hdd bad.pdb", "MSE 11"},
      {"hdd empty.pdb", "no ATOM records"},
      {"hdd missing.pdb", "cannot open"},
      {"hdd --sequence ACXD", "\"X\" at position 3"},
      {"hdd --sequence ''", "empty"},
      {"hdd bad.pdb --sequence A", "usage"},
      {"hdd", "usage"},
      {"hdd --sequence " + std::string(3001, 'G'), "capacity of 3000"},
      {"hdd --sequence AAA --data nowhere", "nowhere"},
  };
  for (const Case& c : cases) {
    test::RunResult r = test::run_tools(dir.path(), c.args + " -o Hdd");
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("Hdd"))) << c.args;
  }
  test::RunResult r = test::run_tools(dir.path(), "hdd bad.pdb");
  EXPECT_NE(r.err.find("HETATM"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vorb::tools
