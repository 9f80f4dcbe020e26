#include "bbdat.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "builders/backbone.hpp"
#include "builders/bb_key.hpp"
#include "io/aux_read.hpp"
#include "model/coords.hpp"
#include "model/residues.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

// Atom d with |cd| = bond, angle bcd and torsion abcd (degrees).
Vec3 place(Vec3 a, Vec3 b, Vec3 c, float bond, float angle, float torsion) {
  const float rad = 0.0174533f;
  Vec3 bc = (c - b) / norm(c - b);
  Vec3 n = cross(b - a, bc);
  n = n / norm(n);
  Vec3 m = cross(n, bc);
  float th = angle * rad, ph = torsion * rad;
  Vec3 d2{-bond * std::cos(th), bond * std::sin(th) * std::cos(ph), bond * std::sin(th) * std::sin(ph)};
  return c + d2.x * bc + d2.y * m + d2.z * n;
}

// An ideal backbone (N, CA, C, O) with the given phi/psi per residue, all ALA unless typed.
Chain backbone(const std::vector<std::pair<float, float>>& phipsi, int type = kAla) {
  Chain c;
  Vec3 n{0, 0, 0}, ca{1.458f, 0, 0};
  Vec3 cc = place({0, 1, 0}, n, ca, 1.525f, 111.0f, -60.0f);
  for (std::size_t r = 0; r < phipsi.size(); ++r) {
    Residue res;
    res.name = std::string(afn[std::size_t(type)]);
    res.num = int(r) + 1;
    res.type = type;
    if (r > 0) {
      Vec3 pn = n, pca = ca, pc = cc;
      n = place(pn, pca, pc, 1.329f, 116.2f, phipsi[r - 1].second);
      ca = place(pca, pc, n, 1.458f, 121.7f, 180.0f);
      cc = place(pc, n, ca, 1.525f, 111.0f, phipsi[r].first);
    }
    Vec3 nn = place(n, ca, cc, 1.329f, 116.2f, phipsi[r].second);
    Vec3 o = place(nn, ca, cc, 1.231f, 120.5f, 180.0f);
    res.atoms = {{" N  ", n}, {" CA ", ca}, {" C  ", cc}, {" O  ", o}};
    c.res.push_back(res);
  }
  return c;
}

std::vector<std::pair<float, float>> mixed(int n) {
  std::vector<std::pair<float, float>> pp;
  for (int r = 0; r < n; ++r) {
    if (r < n / 3) pp.push_back({-62.0f + 3.0f * float(r), -41.0f});
    else if (r < 2 * n / 3) pp.push_back({-120.0f - 2.0f * float(r), 130.0f + float(r)});
    else pp.push_back({-80.0f + 7.0f * float(r), 160.0f - 9.0f * float(r)});
  }
  return pp;
}

Fragment frag(int cls, int b1, int type, std::array<float, 6> v) {
  Fragment f;
  f.cls = cls;
  f.b = {b1, 1, 2, 3, 4};
  f.type = type;
  f.v = v;
  return f;
}

TEST(BBdatBuild, CellsOrderSlotsByDistanceToTheMean) {
  std::vector<Fragment> fr;
  // One cell with 12 members spread along the first value; mean 2.4 + 0.055.
  for (int k = 0; k < 12; ++k)
    fr.push_back(frag(2, 5, kAla, {2.4f + 0.01f * float(k), 0, 0, 1.5f, 0, 0}));
  fr.push_back(frag(4, 7, kGly, {2.3f, 0, 0, 1.5f, 0, 0}));
  fr.push_back(frag(1, 3, kGly, {2.2f, 0, 0, 1.5f, 0, 0}));
  Library lib = build_library(fr, {});
  ASSERT_EQ(lib.helix.size(), 10u);  // capped at ten slots
  EXPECT_EQ(lib.helix[0].slot, 1);
  // Closest to 2.455: 2.45 and 2.46 tie; the earlier fragment comes first.
  EXPECT_FLOAT_EQ(lib.helix[0].v[0], 2.45f);
  EXPECT_FLOAT_EQ(lib.helix[1].v[0], 2.46f);
  EXPECT_EQ(lib.helix[9].slot, 10);
  EXPECT_EQ(lib.helix[0].cls, 2);
  ASSERT_EQ(lib.strand.size(), 1u);
  EXPECT_EQ(lib.strand[0].cls, 3);
  // The generic coil table holds every class, ordered by cell (b1 3, 5, 7).
  ASSERT_EQ(lib.coil.size(), 12u);
  EXPECT_EQ(lib.coil[0].b[0], 3);
  EXPECT_EQ(lib.coil[1].b[0], 5);
  EXPECT_EQ(lib.coil[11].b[0], 7);
  BuildOptions only;
  only.generic_coil = false;
  EXPECT_EQ(build_library(fr, only).coil.size(), 1u);
  // Over the cap the highest slots go first, coil before helix.
  BuildOptions capped;
  capped.max_records = 20;
  Library c = build_library(fr, capped);
  EXPECT_EQ(c.size(), 20u);
  EXPECT_EQ(c.coil.size(), 10u);   // coil lost slots 10 and 9 of cell b1 5
  EXPECT_EQ(c.helix.size(), 9u);   // helix lost slot 10
  EXPECT_EQ(c.helix.back().slot, 9);
  capped.max_records = 3;
  Library tiny = build_library(fr, capped);
  EXPECT_EQ(tiny.size(), 3u);
  for (const auto* t : {&tiny.coil, &tiny.helix, &tiny.strand})
    for (const LibRecord& r : *t) {
      EXPECT_EQ(r.slot, 1);
    }
}

TEST(BBdatBuild, WrittenLibraryReadsBack) {
  std::vector<Fragment> fr = {frag(1, 3, kGly, {2.4371f, -0.5f, 0.25f, 1.52f, 0.1f, -0.0004f}),
                              frag(2, 4, kPro, {2.4f, 0, 0, 1.5f, 0, 0}),
                              frag(4, 25, kTrp, {2.5f, 1, -1, 1.4f, 0.5f, 0.5f})};
  Library lib = build_library(fr, {});
  test::TempDir d;
  write_library(lib, d.file("BBdat"));
  auto s = test::make_state();
  read_library_file(*s, d.file("BBdat"));
  EXPECT_EQ(s->nbb, 5);
  EXPECT_EQ(s->nbbc, 3);
  EXPECT_EQ(s->nbbh, 1);
  EXPECT_EQ(s->nbbe, 1);
  EXPECT_EQ(s->bbdatc(3, 1, 2, 3, 4, kGly, 1), 1);
  EXPECT_EQ(s->bbdata(4, 1, 2, 3, 4, kPro, 1), 4);
  EXPECT_EQ(s->bbdatb(25, 1, 2, 3, 4, kTrp, 1), 5);
  EXPECT_EQ(s->bbdatc(25, 1, 2, 3, 4, kTrp, 1), 3);
  EXPECT_FLOAT_EQ(s->bbcoord(1, 1), 2.437f);
  EXPECT_FLOAT_EQ(s->bbcoord(1, 6), -0.0f);
  std::string text = test::read_file(d.file("BBdat"));
  EXPECT_EQ(text.substr(0, text.find('\n')), " 5 3 1 1");
  EXPECT_EQ(text.substr(text.find('\n') + 1, 71),
            " 1  3  1  2  3  4  1  1   2.437  -0.500   0.250   1.520   0.100  -0.000");
}

// The library made from one chain rebuilds that chain's C-alpha trace: each residue whose cell
// holds its own fragment at slot 1 gets back its own N(i+1) and C(i), the chain ends included.
TEST(BBdatBuild, OwnChainRebuildsThroughBbadd) {
  Chain c = backbone(mixed(18));
  std::vector<int> codes(c.res.size(), 1);
  ExtractStats st;
  std::vector<Fragment> fr = chain_fragments(c, codes, st);
  EXPECT_EQ(st.fragments, 18);
  Library lib = build_library(fr, {});
  test::TempDir d;
  write_library(lib, d.file("BBdat"));
  auto s = test::make_state();
  read_library_file(*s, d.file("BBdat"));

  const int n = 18;
  int atom = 0;
  s->xx.fill(kMissing), s->yy.fill(kMissing), s->zz.fill(kMissing);
  for (int r = 1; r <= n; ++r) {
    s->ica(r) = atom + 2;
    s->ityp(r) = kAla;
    atom += hra[kAla] + (r == n ? 2 : 1);
  }
  s->natom = atom;
  s->nres = n;
  for (int r = 1; r <= n; ++r) set_pos(*s, s->ica(r), c.res[std::size_t(r - 1)].at(" CA "));
  bbadd(*s, 0);
  int exact = 0;
  for (int r = 1; r <= n; ++r) {
    const Fragment& f = fr[std::size_t(r - 1)];
    int k = s->bbdatc(f.b[0], f.b[1], f.b[2], f.b[3], f.b[4], kAla, 1);
    bool own = true;  // the cell's slot 1 is this residue's fragment
    for (int v = 0; v < 6; ++v) own = own && std::fabs(s->bbcoord(k, v + 1) - f.v[std::size_t(v)]) < 0.0006f;
    if (!own) continue;
    ++exact;
    EXPECT_LT(dist(pos(*s, s->ica(r) + 1), c.res[std::size_t(r - 1)].at(" C  ")), 0.003f) << r;
    if (r < n) {
      EXPECT_LT(dist(pos(*s, s->ica(r + 1) - 1), c.res[std::size_t(r)].at(" N  ")), 0.003f) << r;
    }
  }
  EXPECT_GE(exact, 12);
  // The last residue's record exists and its C came back.
  EXPECT_LT(dist(pos(*s, s->ica(n) + 1), c.res[std::size_t(n - 1)].at(" C  ")), 0.003f);
}

TEST(BBdatBuild, SkipsBreaksMissingAtomsAndOutOfBandGeometry) {
  Chain c = backbone(mixed(12));
  // A 6.8 A gap between residues 6 and 7: windows of residues 5, 6, 7 cross it.
  Vec3 step = c.res[6].at(" CA ") - c.res[5].at(" CA ");
  for (std::size_t r = 6; r < c.res.size(); ++r)
    for (auto& a : c.res[r].atoms) a.second = a.second + (3.0f / norm(step)) * step;
  c.res[9].atoms.erase(c.res[9].atoms.begin() + 2);  // residue 10 without C
  ExtractStats st;
  std::vector<Fragment> fr = chain_fragments(c, std::vector<int>(12, 1), st);
  EXPECT_EQ(st.broken, 3);
  EXPECT_EQ(st.incomplete, 1);
  EXPECT_EQ(st.fragments, 8);

  Chain d = backbone(mixed(6));
  Vec3 ca3 = d.res[2].at(" CA ");
  d.res[2].atoms[2].second = ca3 + 0.8f * (d.res[2].at(" C  ") - ca3);  // C 1.22 A from CA
  ExtractStats st2;
  chain_fragments(d, std::vector<int>(6, 1), st2);
  EXPECT_EQ(st2.out_of_band, 1);
  // A last residue whose O sits on its C has no direction for the virtual N(i+1): the
  // undefined distance is out of band, not stored.
  Chain e = backbone(mixed(6));
  e.res[5].atoms[3].second = e.res[5].at(" C  ");
  ExtractStats st3;
  std::vector<Fragment> fe = chain_fragments(e, std::vector<int>(6, 1), st3);
  EXPECT_EQ(st3.out_of_band, 1);
  EXPECT_EQ(st3.fragments, 5);
  for (const Fragment& f : fe)
    for (float v : f.v) EXPECT_TRUE(std::isfinite(v));
  // Residues without a CA or of unknown type are not part of the trace.
  d.res[4].type = 0;
  EXPECT_EQ(trace_of(d).size(), 5u);
}

TEST(BBdatBuild, CommittedLibraryLoads) {
  auto s = test::make_state();
  read_library_file(*s, std::string(VORB_SOURCE_DIR) + "/data/BBdat");
  EXPECT_LE(s->nbb, 70000);
  EXPECT_GT(s->nbbc, 0);
  EXPECT_GT(s->nbbh, 0);
  EXPECT_GT(s->nbbe, 0);
  // Every stored N and C lies inside the bands completion accepts.
  for (int k = 1; k <= s->nbb; k += 97) {
    float dn = norm({s->bbcoord(k, 1), s->bbcoord(k, 2), s->bbcoord(k, 3)});
    float dc = norm({s->bbcoord(k, 4), s->bbcoord(k, 5), s->bbcoord(k, 6)});
    EXPECT_TRUE(dn > 2.1f && dn < 2.7f && dc > 1.3f && dc < 1.7f) << k;
  }
}

// The committed library is what the builder makes of the training part of the shared set.
TEST(BBdatCommand, CommittedLibraryComesFromTheTrainingSet) {
  std::string shared = test::shared_dir();
  if (shared.empty()) GTEST_SKIP() << "no shared structures";
  test::TempDir dir;
  test::RunResult r =
      test::run_tools(dir.path(), "bbdat '" + shared + "/structures/train' -o BBdat");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("chains: 322\n"), std::string::npos) << r.out;
  EXPECT_TRUE(test::read_file(dir.file("BBdat")) ==
              test::read_file(std::string(VORB_SOURCE_DIR) + "/data/BBdat"))
      << "data/BBdat differs from a fresh build";
}

}  // namespace
}  // namespace vorb::tools
