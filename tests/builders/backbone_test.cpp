#include "builders/backbone.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "builders/bb_key.hpp"
#include "geometry/random.hpp"
#include "model/coords.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"
#include "support/test_support.hpp"

namespace vorb {
namespace {

// A chain laid out as the topology lays it: N, CA, C, O, side chain, then the amide H slot;
// the last residue has OXT in that slot and its H after it. Only the C-alpha atoms are placed,
// on an ideal helix (3.8 A steps) unless positions are given.
std::unique_ptr<ModelState> chain(const std::vector<int>& types, std::vector<Vec3> ca = {}) {
  auto s = test::make_state();
  int n = int(types.size());
  if (ca.empty())
    for (int r = 0; r < n; ++r) {
      float t = 1.745329f * float(r);
      ca.push_back({2.3f * std::cos(t), 2.3f * std::sin(t), 1.5f * float(r)});
    }
  s->xx.fill(kMissing);
  s->yy.fill(kMissing);
  s->zz.fill(kMissing);
  int atom = 0;
  for (int r = 1; r <= n; ++r) {
    int t = types[std::size_t(r - 1)];
    s->ica(r) = atom + 2;
    s->ityp(r) = t;
    atom += hra[std::size_t(t)] + (r == n ? 2 : 1);
    set_pos(*s, s->ica(r), ca[std::size_t(r - 1)]);
  }
  s->natom = atom;
  s->nres = n;
  s->iseed = 1234;
  return s;
}

BBKey key_of(const ModelState& s, int i) {
  int n = s.nres;
  Vec3 ca1 = pos(s, s.ica(1)), can = pos(s, s.ica(n));
  auto ca = [&](int r) -> Vec3 {
    if (r == 0) return 2.0f * ca1 - pos(s, s.ica(2));
    if (r == n + 1) return 2.0f * can - pos(s, s.ica(n - 1));
    if (r == n + 2) return 2.0f * can - pos(s, s.ica(n - 2));
    return pos(s, s.ica(r));
  };
  int r3 = i == n ? n + 2 : i + 2;
  return bb_key(ca(i - 1), ca(i), ca(i + 1), ca(r3));
}

void add_fragment(ModelState& s, BBTable& t, const BBKey& k, int type, int slot, int f,
                  Vec3 n = {2.4f, 0.2f, -0.3f}, Vec3 c = {1.45f, -0.5f, 0.4f}) {
  t.set(k.b1, k.b2, k.b3, k.b4, k.b5, type, slot, f);
  s.bbcoord(f, 1) = n.x, s.bbcoord(f, 2) = n.y, s.bbcoord(f, 3) = n.z;
  s.bbcoord(f, 4) = c.x, s.bbcoord(f, 5) = c.y, s.bbcoord(f, 6) = c.z;
  s.nbb = std::max(s.nbb, f);
}

void set_counts(ModelState& s, int nbbc, int nbbh, int nbbe) {
  s.nbbc = nbbc, s.nbbh = nbbh, s.nbbe = nbbe;
  s.nbb = std::max(s.nbb, nbbc + nbbh + nbbe);
}

// The fragment a residue's own key cell holds in the coil table.
int coil_cell(const ModelState& s, int i) {
  BBKey k = key_of(s, i);
  return s.bbdatc(k.b1, k.b2, k.b3, k.b4, k.b5, s.ityp(i), 1);
}

// A strand-like zig-zag trace (3.81 A steps).
std::vector<Vec3> zigzag(int n) {
  std::vector<Vec3> ca;
  for (int r = 0; r < n; ++r) ca.push_back({3.3f * float(r), r % 2 ? -0.95f : 0.95f, 0});
  return ca;
}

Vec3 in_frame(const BBKey& k, Vec3 q) { return q.x * k.a + q.y * k.b + q.z * k.c; }

void expect_near(Vec3 a, Vec3 b, float tol = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

TEST(BBKey, BinsAtTheirEdgesCapsAndFloors) {
  // P1, P2 off the P0-P3 axis so the frame is defined; only the tested distance varies.
  auto key = [](float lh) {
    return bb_key({0, 0, 0}, {1.0f, 1.0f, 0}, {2.0f, 1.2f, 0}, {lh, 0, 0});
  };
  EXPECT_EQ(key(4.45f).b1, 0);
  EXPECT_EQ(key(4.6999f).b1, 0);
  EXPECT_EQ(key(4.7f).b1, 1);
  EXPECT_EQ(key(1.0f).b1, 0);     // below the origin
  EXPECT_EQ(key(30.0f).b1, 25);   // capped
  BBKey k = key(10.7f);
  EXPECT_TRUE(k.ok);
  EXPECT_EQ(k.b1, 25);
  EXPECT_EQ(key(10.6999f).b1, 24);
  // Orthonormal frame with c = a x b.
  EXPECT_NEAR(dot(k.a, k.b), 0.0f, 1e-6f);
  EXPECT_NEAR(norm(k.c), 1.0f, 1e-6f);
  // b4 and b5: the C-alpha step along a and b, floored at 0.
  BBKey h = bb_key({0, 0, 0}, {0, 0, 0}, {3.8f, 0, 0}, {0, 0, 0.0f + 6.0f});
  EXPECT_TRUE(h.ok);
  EXPECT_EQ(h.b4, 0);  // g.a = 3.8 cos 45 = 2.69 < 3.15
  EXPECT_EQ(h.b5, 0);  // g.b = -2.69 < -2.1
}

TEST(BBKey, DistanceAndStepBinsAtTheirEdgesAndCaps) {
  // b2 = |P2-P0| with P0 at the origin and P2 on the x axis; |P3-P1| = 5.7 keeps b3 at 3.
  auto k2 = [](float d) { return bb_key({0, 0, 0}, {1.0f, 2.0f, 0}, {d, 0, 0}, {1.0f, 7.7f, 0}); };
  // b3 = |P3-P1| likewise, with |P2-P0| = 5.7 keeping b2 at 3.
  auto k3 = [](float d) { return bb_key({1.0f, 2.0f, 0}, {0, 0, 0}, {1.0f, -3.7f, 0}, {d, 0, 0}); };
  struct Edge {
    float v;
    int bin;
  };
  const Edge dist_edges[] = {{1.0f, 0},   {4.849f, 0}, {4.851f, 0}, {5.099f, 0}, {5.101f, 1},
                             {5.349f, 1}, {5.351f, 2}, {6.099f, 4}, {6.101f, 5}, {7.099f, 8},
                             {7.101f, 9}, {7.349f, 9}, {7.351f, 10}, {12.0f, 10}};
  for (const Edge& e : dist_edges) {
    BBKey a = k2(e.v), b = k3(e.v);
    ASSERT_TRUE(a.ok && b.ok) << e.v;
    EXPECT_EQ(a.b2, e.bin) << e.v;
    EXPECT_EQ(a.b3, 3) << e.v;
    EXPECT_EQ(b.b3, e.bin) << e.v;
    EXPECT_EQ(b.b2, 3) << e.v;
  }
  // With P0 = P1 and P3 the mirror image of P2 in the x axis, the frame is exactly x, y, z and
  // the step P1 -> P2 = (pa, pb, 0) has components pa along a and pb along b.
  auto k45 = [](float pa, float pb) { return bb_key({0, 0, 0}, {0, 0, 0}, {pa, pb, 0}, {pa, -pb, 0}); };
  const Edge along_a[] = {{3.0f, 0},   {3.299f, 0}, {3.301f, 1}, {3.449f, 1}, {3.451f, 2},
                          {3.599f, 2}, {3.601f, 3}, {3.749f, 3}, {3.751f, 4}, {9.0f, 4}};
  for (const Edge& e : along_a) {
    BBKey k = k45(e.v, -1.0f);
    ASSERT_TRUE(k.ok) << e.v;
    EXPECT_NEAR(k.a.x, 1.0f, 1e-6f);
    EXPECT_EQ(k.b4, e.bin) << e.v;
    EXPECT_EQ(k.b5, 5) << e.v;  // trunc((-1 + 2.1) / 0.2)
  }
  const Edge along_b[] = {{-2.5f, 0},   {-1.901f, 0}, {-1.899f, 1}, {-1.701f, 1}, {-1.699f, 2},
                          {-1.101f, 4}, {-1.099f, 5}, {-0.301f, 8}, {-0.299f, 9}, {-0.101f, 9},
                          {-0.099f, 10}, {-0.001f, 10}};
  for (const Edge& e : along_b) {
    BBKey k = k45(3.5f, e.v);
    ASSERT_TRUE(k.ok) << e.v;
    EXPECT_EQ(k.b5, e.bin) << e.v;
    EXPECT_EQ(k.b4, 2) << e.v;  // trunc((3.5 - 3.15) / 0.15)
  }
}

TEST(BBKey, UndefinedFrames) {
  EXPECT_FALSE(bb_key({0, 0, 0}, {1, 1, 1}, {1, 1, 1}, {5, 0, 0}).ok);  // P1 = P2
  EXPECT_FALSE(bb_key({2, 0, 0}, {1, 1, 0}, {4, 1, 0}, {2, 0, 0}).ok);  // P0 = P3
  EXPECT_FALSE(bb_key({0, 0, 0}, {0, 1, 0}, {3, 1, 0}, {-3, 0, 0}).ok); // g antiparallel to h
}

TEST(Backbone, RejectsShortChainsAndUnknownTypes) {
  auto s = chain({kAla, kAla});
  EXPECT_THROW(check_chain_length(*s), InputError);
  EXPECT_THROW(bbadd(*s, 0), InputError);
  auto t = chain({kAla, kAla, kAla});
  EXPECT_NO_THROW(check_chain_length(*t));
  t->ityp(2) = 0;
  EXPECT_THROW(check_residue_types(*t), InputError);
  EXPECT_THROW(bbadd(*t, 1), InputError);
}

TEST(Backbone, ModeThreeChangesNothing) {
  auto s = chain({kAla, kGly, kSer, kAla});
  int seed = s->iseed;
  bbadd(*s, 3);
  EXPECT_EQ(s->iseed, seed);
  for (int i = 0; i <= s->natom + 3; ++i) {
    if (i != s->ica(1) && i != s->ica(2) && i != s->ica(3) && i != s->ica(4)) {
      EXPECT_FLOAT_EQ(s->xx(i), kMissing) << i;
    }
  }
}

// Every residue finds its own coil fragment: positions are exactly the stored offsets in the
// residue's frame, no random number is drawn, and add_ho completes O, OXT, H and N(1).
TEST(Backbone, LookupPlacesStoredOffsetsAndAddHoCompletes) {
  auto s = chain({kAla, kPro, kGly, kLeu, kAla});
  for (int i = 1; i <= 5; ++i) add_fragment(*s, s->bbdatc, key_of(*s, i), s->ityp(i), 1, 10 + i);
  set_counts(*s, 15, 0, 0);
  int seed = s->iseed;
  bbadd(*s, 0);
  EXPECT_EQ(s->iseed, seed);
  for (int i = 1; i <= 5; ++i) {
    BBKey k = key_of(*s, i);
    int ca = s->ica(i);
    int n_next = i < 5 ? s->ica(i + 1) - 1 : s->natom + 1;
    EXPECT_EQ(s->ifrag(i), coil_cell(*s, i));
    expect_near(pos(*s, ca + 1), pos(*s, ca) + in_frame(k, {1.45f, -0.5f, 0.4f}));
    expect_near(pos(*s, n_next), pos(*s, ca) + in_frame(k, {2.4f, 0.2f, -0.3f}));
  }
  // O: 1.23 A from C, away from the midpoint of CA(i) and N(i+1).
  for (int i = 1; i < 5; ++i) {
    int ca = s->ica(i);
    Vec3 c = pos(*s, ca + 1), o = pos(*s, ca + 2);
    Vec3 m = (pos(*s, ca) + pos(*s, s->ica(i + 1) - 1)) / 2.0f;
    EXPECT_NEAR(dist(c, o), 1.23f, 1e-5f);
    EXPECT_NEAR(dot((o - c) / 1.23f, (c - m) / norm(c - m)), 1.0f, 1e-5f);
  }
  // Amide H 1.0 A from N; none on residue 1 or the proline (its slot stays empty).
  EXPECT_NEAR(dist(pos(*s, s->ica(3) - 1), pos(*s, s->ica(3) + hra[kGly] - 1)), 1.0f, 1e-5f);
  EXPECT_FLOAT_EQ(s->xx(s->ica(2) + hra[kPro] - 1), kMissing);
  EXPECT_FLOAT_EQ(s->xx(s->ica(1) + hra[kAla] - 1), kMissing);
  // Last residue: O, OXT in the slot after the heavy atoms, H after that.
  int ca5 = s->ica(5);
  EXPECT_NEAR(dist(pos(*s, ca5 + 1), pos(*s, ca5 + 2)), 1.23f, 1e-5f);
  EXPECT_NEAR(dist(pos(*s, ca5 + 1), pos(*s, ca5 + hra[kAla] - 1)), 1.23f, 1e-5f);
  EXPECT_NEAR(dist(pos(*s, ca5 - 1), pos(*s, ca5 + hra[kAla])), 1.0f, 1e-5f);
  // N(1) repeats residue 2's N-to-CA offset.
  expect_near(pos(*s, 1) - pos(*s, 2), pos(*s, s->ica(2) - 1) - pos(*s, s->ica(2)), 1e-6f);
}

TEST(Backbone, ModeZeroRebuildsOnlyIncompleteResidues) {
  auto s = chain({kAla, kAla, kAla, kAla});
  for (int i = 1; i <= 4; ++i) add_fragment(*s, s->bbdatc, key_of(*s, i), kAla, 1, i);
  set_counts(*s, 4, 0, 0);
  bbadd(*s, 0);
  // Move residue 2's C away; mode 0 rebuilds residue 4 (scratch N is back to 999 by hand) and
  // nothing else: residue 2 counts as complete.
  Vec3 moved = pos(*s, s->ica(2)) + Vec3{0, 0, 1.5f};
  set_pos(*s, s->ica(2) + 1, moved);
  set_missing(*s, s->natom + 1);
  s->ifrag.fill(0);
  bbadd(*s, 0);
  expect_near(pos(*s, s->ica(2) + 1), moved, 0.0f);
  EXPECT_EQ(s->ifrag(2), 0);
  EXPECT_EQ(s->ifrag(4), coil_cell(*s, 4));
  EXPECT_LT(s->xx(s->natom + 1), 990.0f);
  // O of residue 2 follows the moved C.
  EXPECT_NEAR(dist(moved, pos(*s, s->ica(2) + 2)), 1.23f, 1e-5f);
  // A missing N(3) makes residue 2 incomplete again.
  set_missing(*s, s->ica(3) - 1);
  bbadd(*s, 0);
  EXPECT_EQ(s->ifrag(2), coil_cell(*s, 2));
}

// Which fragment residue 2 (of four, the others ALA) receives from a library built by fill.
// Library fragments are numbered from 40, above the small class ranges that the random
// fallback draws from, so a random choice is told apart from a lookup.
template <class Fill>
int chosen(int type, int sscode, Fill fill) {
  auto s = chain({kAla, type, kAla, kAla});
  s->sscode(2) = sscode;
  fill(*s, key_of(*s, 2));
  bbadd(*s, 1);
  return s->ifrag(2);
}

TEST(Backbone, TableOrderPerClass) {
  auto three = [](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatb, k, kAla, 1, 43);
    add_fragment(s, s.bbdata, k, kAla, 1, 42);
    set_counts(s, 1, 1, 1);
  };
  EXPECT_EQ(chosen(kAla, 0, three), 43);  // coil: coil, strand, helix
  EXPECT_EQ(chosen(kAla, 1, three), 43);
  EXPECT_EQ(chosen(kAla, 2, three), 42);  // helix: helix, coil
  EXPECT_EQ(chosen(kAla, 4, three), 43);  // strand: strand, coil
  auto coil_and_helix = [](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatc, k, kAla, 1, 41);
    add_fragment(s, s.bbdata, k, kAla, 1, 42);
    set_counts(s, 1, 1, 1);
  };
  EXPECT_EQ(chosen(kAla, 4, coil_and_helix), 41);
  EXPECT_EQ(chosen(kAla, 3, coil_and_helix), 41);  // codes other than 2 and 4 are coil
  EXPECT_EQ(chosen(kAla, 0, coil_and_helix), 41);
  // A helix residue never takes a strand fragment by lookup: it falls through to a random
  // helix fragment (record 2, the only one).
  auto strand_only = [](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatb, k, kAla, 1, 43);
    set_counts(s, 1, 1, 1);
  };
  EXPECT_EQ(chosen(kAla, 2, strand_only), 2);
}

TEST(Backbone, TypeFallbackAndGlycine) {
  // The own class table, types 20 down to tmin; the highest type wins.
  auto others = [](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatc, k, kSer, 1, 44);
    add_fragment(s, s.bbdatc, k, kTyr, 1, 45);
    add_fragment(s, s.bbdatb, k, kTrp, 1, 46);  // another class: not looked at
    set_counts(s, 9, 0, 1);
  };
  EXPECT_EQ(chosen(kLeu, 0, others), 45);
  // Glycine fragments serve only glycine (tmin = 1 for glycine, 2 otherwise).
  auto gly = [](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatc, k, kGly, 1, 47);
    set_counts(s, 9, 0, 0);
  };
  EXPECT_EQ(chosen(kGly, 0, gly), 47);
  EXPECT_LE(chosen(kLeu, 0, gly), 9);
}

TEST(Backbone, ProlineRules) {
  // At the same bins a non-proline may take a proline fragment; a proline skips that step.
  auto pro_here = [](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatc, k, kPro, 1, 48);
    set_counts(s, 9, 0, 0);
  };
  EXPECT_EQ(chosen(kAla, 0, pro_here), 48);
  auto ala_here = [](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatc, k, kAla, 1, 42);
    set_counts(s, 9, 0, 0);
  };
  EXPECT_LE(chosen(kPro, 0, ala_here), 9);
  // In the widened search (one bin off) a proline takes only proline, a non-proline no proline.
  auto shifted = [](BBKey k) {
    k.b1 = k.b1 > 0 ? k.b1 - 1 : k.b1 + 1;
    return k;
  };
  auto near_mixed = [&](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatc, shifted(k), kPro, 1, 48);
    add_fragment(s, s.bbdatc, shifted(k), kAla, 1, 42);
    set_counts(s, 9, 0, 0);
  };
  EXPECT_EQ(chosen(kPro, 0, near_mixed), 48);
  EXPECT_EQ(chosen(kSer, 0, near_mixed), 42);
  auto near_pro = [&](ModelState& s, const BBKey& k) {
    add_fragment(s, s.bbdatc, shifted(k), kPro, 1, 48);
    set_counts(s, 9, 0, 0);
  };
  EXPECT_LE(chosen(kSer, 0, near_pro), 9);
}

TEST(Backbone, WidenedSearchStaysInThePrimaryTable) {
  auto near = [](ModelState& s, BBKey k) {
    k.b2 += 1;
    add_fragment(s, s.bbdata, k, kAla, 1, 43);
    k.b2 += 1;  // two bins off: out of reach
    add_fragment(s, s.bbdata, k, kAla, 1, 44);
    set_counts(s, 2, 2, 0);
  };
  EXPECT_EQ(chosen(kAla, 2, near), 43);
  EXPECT_LE(chosen(kAla, 0, near), 2);  // coil's primary table is empty: random coil
}

TEST(Backbone, DistancesOutsideTheBandAreRescaled) {
  struct Case {
    Vec3 n, c;
    float dn, dc;
  };
  const Case cases[] = {
      {{2.4f, 0, 0}, {1.2f, 0, 0}, 2.4f, 1.49f},    // C stretched from 1.2
      {{3.0f, 0, 0}, {1.5f, 0, 0}, 1.45f, 1.5f},    // N beyond 2.7, C kept at 1.5
      {{0, 2.0f, 0}, {0, 0, 1.8f}, 1.45f, 1.49f},   // N short, C long
      {{0, 0, 2.69f}, {0, 1.31f, 0}, 2.69f, 1.31f}, // inside the band: kept
  };
  for (const Case& cs : cases) {
    auto s = chain({kAla, kAla, kAla, kAla});
    BBKey k = key_of(*s, 2);
    add_fragment(*s, s->bbdatc, k, kAla, 1, 1, cs.n, cs.c);
    set_counts(*s, 1, 0, 0);
    bbadd(*s, 0);
    Vec3 ca = pos(*s, s->ica(2)), c = pos(*s, s->ica(2) + 1), n = pos(*s, s->ica(3) - 1);
    EXPECT_NEAR(dist(ca, c), cs.dc, 1e-5f);
    EXPECT_NEAR(dist(ca, n), cs.dn, 1e-5f);
    // The direction is the stored one.
    EXPECT_NEAR(dot((c - ca) / dist(ca, c), in_frame(k, cs.c) / norm(cs.c)), 1.0f, 1e-5f);
  }
}

TEST(Backbone, TinyOffsetsGoOnTheLineAndZeroRowsLeaveAtoms) {
  auto s = chain({kAla, kAla, kAla, kAla});
  BBKey k = key_of(*s, 2);
  add_fragment(*s, s->bbdatc, k, kAla, 1, 1, {0.004f, 0, 0}, {0, 0.005f, 0});
  set_counts(*s, 1, 0, 0);
  bbadd(*s, 0);
  Vec3 p1 = pos(*s, s->ica(2)), p2 = pos(*s, s->ica(3));
  expect_near(pos(*s, s->ica(3) - 1), p1 + 0.67f * (p2 - p1), 1e-5f);
  expect_near(pos(*s, s->ica(2) + 1), p1 + 0.33f * (p2 - p1), 1e-5f);

  // Sum of |q| at most 0.001 (or a row beyond nbb): C and N stay where they were.
  auto t = chain({kAla, kAla, kAla, kAla});
  add_fragment(*t, t->bbdatc, key_of(*t, 2), kAla, 1, 1, {0.0005f, 0.0005f, 0}, {0, 0, 0});
  set_counts(*t, 1, 0, 0);
  Vec3 c0{1, 2, 3};
  set_pos(*t, t->ica(2) + 1, c0);
  bbadd(*t, 1);
  expect_near(pos(*t, t->ica(2) + 1), c0, 0.0f);
  EXPECT_GT(t->xx(t->ica(3) - 1), 990.0f);

  // A cell pointing beyond nbb reads a zero row: the atoms stay too.
  auto u = chain({kAla, kAla, kAla, kAla});
  for (int i = 1; i <= 4; ++i) {
    BBKey k = key_of(*u, i);
    u->bbdatc.set(k.b1, k.b2, k.b3, k.b4, k.b5, kAla, 1, 9);
  }
  u->bbcoord(9, 1) = 2.4f, u->bbcoord(9, 4) = 1.5f;
  set_counts(*u, 5, 0, 0);
  bbadd(*u, 1);
  EXPECT_EQ(u->ifrag(2), 9);
  EXPECT_GT(u->xx(u->ica(2) + 1), 990.0f);
}

TEST(Backbone, UndefinedFrameChoosesAFragmentButPlacesNothing) {
  auto s = chain({kAla, kAla, kAla, kAla, kAla},
                 {{0, 0, 0}, {3.8f, 0, 0}, {3.8f, 0, 0}, {7.6f, 0.5f, 0}, {11.0f, 2.0f, 0}});
  set_counts(*s, 5, 0, 0);
  for (int f = 1; f <= 5; ++f) s->bbcoord(f, 1) = 2.4f, s->bbcoord(f, 4) = 1.5f;
  int seed = s->iseed;
  bbadd(*s, 1);
  // Residue 2 (P1 = P2) has no frame: a random coil fragment, C(2) and N(3) untouched.
  EXPECT_GE(s->ifrag(2), 1);
  EXPECT_LE(s->ifrag(2), 5);
  EXPECT_GT(s->xx(s->ica(2) + 1), 990.0f);
  EXPECT_GT(s->xx(s->ica(3) - 1), 990.0f);
  EXPECT_NE(s->iseed, seed);
}

TEST(Backbone, ModeZeroPutsUnplacedAtomsOfAStraightRunOnTheLine) {
  // Four collinear C-alpha atoms (a gap filled on the straight line) give residues 1 and 2 no
  // frame; the completion call must still place C and N, or O would be derived from 999.
  auto s = chain({kAla, kAla, kAla, kAla, kAla},
                 {{0, 0, 0}, {3.6f, 0, 0}, {7.2f, 0, 0}, {10.8f, 0, 0}, {13.0f, 3.0f, 0}});
  set_counts(*s, 5, 0, 0);
  for (int f = 1; f <= 5; ++f) s->bbcoord(f, 1) = 2.4f, s->bbcoord(f, 4) = 1.5f;
  ASSERT_FALSE(key_of(*s, 1).ok);
  ASSERT_FALSE(key_of(*s, 2).ok);
  bbadd(*s, 0);
  for (int r = 1; r <= 2; ++r) {
    const Vec3 c = pos(*s, s->ica(r) + 1), n = pos(*s, s->ica(r + 1) - 1);
    EXPECT_FLOAT_EQ(c.x, 3.6f * float(r - 1) + 0.33f * 3.6f) << r;
    EXPECT_FLOAT_EQ(n.x, 3.6f * float(r - 1) + 0.67f * 3.6f) << r;
    EXPECT_EQ(c.y, 0.0f);
  }
  for (int i = 1; i <= s->natom; ++i) {
    EXPECT_TRUE(s->xx(i) == 999.0f || s->xx(i) < 900.0f) << "atom " << i << " " << s->xx(i);
  }
}

// A library for residue 2 where the exact key's primary cell is empty but every other bin
// (b1..b3 within 3, b4, b5 within 2) holds a fragment numbered after its bins; another table
// holds fragment 60000 at the exact key so that mode 2 perturbs the key.
void fill_around(ModelState& s, const BBKey& k, BBTable& primary, BBTable& other) {
  for (int b1 = k.b1 - 3; b1 <= k.b1 + 3; ++b1)
    for (int b2 = k.b2 - 3; b2 <= k.b2 + 3; ++b2)
      for (int b3 = k.b3 - 3; b3 <= k.b3 + 3; ++b3)
        for (int b4 = 0; b4 <= 4; ++b4)
          for (int b5 = k.b5 - 2; b5 <= k.b5 + 2; ++b5) {
            if (b1 == k.b1 && b2 == k.b2 && b3 == k.b3 && b4 == k.b4 && b5 == k.b5) continue;
            if (!BBTable::in_range(b1, b2, b3, b4, b5, kAla, 1)) continue;
            primary.set(b1, b2, b3, b4, b5, kAla, 1, 1 + b1 * 121 + b2 * 11 + b3);
          }
  other.set(k.b1, k.b2, k.b3, k.b4, k.b5, kAla, 1, 60000);
  s.nbbc = s.nbbh = s.nbbe = 1000;
  s.nbb = 3000;
}

// Lowest (b1, b2, b3) offsets seen over many mode-2 rounds on residue 2.
std::array<int, 3> lowest_offsets(int sscode) {
  auto s = chain({kAla, kAla, kAla, kAla, kAla, kAla}, zigzag(6));
  s->sscode(2) = sscode;
  BBKey k = key_of(*s, 2);
  EXPECT_GE(k.b1, 3);
  EXPECT_GE(k.b2, 3);
  EXPECT_GE(k.b3, 3);
  if (sscode == 4)
    fill_around(*s, k, s->bbdatb, s->bbdatc);
  else
    fill_around(*s, k, s->bbdatc, s->bbdata);
  s->resfix.fill(2);
  s->resfix(2) = 0;
  std::array<int, 3> low{0, 0, 0};
  int decoded = 0;
  for (int round = 0; round < 300; ++round) {
    s->ifrag(2) = 0;
    bbadd(*s, 2);
    int f = s->ifrag(2) - 1;
    if (f < 0 || f > 3146) continue;  // the key step of 8.4, not a perturbed cell
    ++decoded;
    low[0] = std::min(low[0], f / 121 - k.b1);
    low[1] = std::min(low[1], f / 11 % 11 - k.b2);
    low[2] = std::min(low[2], f % 11 - k.b3);
  }
  EXPECT_GT(decoded, 200);
  return low;
}

TEST(Backbone, ModeTwoStrandNeverMovesToShorterDistances) {
  std::array<int, 3> strand = lowest_offsets(4);
  EXPECT_EQ(strand, (std::array<int, 3>{0, 0, 0}));
  std::array<int, 3> coil = lowest_offsets(0);
  EXPECT_EQ(coil[0], -3);
  EXPECT_EQ(coil[1], -2);
  EXPECT_EQ(coil[2], -2);
}

// Mode 2 with a fixed seed, residue 3 of five free and the others frozen, so every draw of the
// stream is residue 3's. The expected choices are worked out from a copy of the stream with the
// stated rules, so a wrong slot formula, a reordered or skipped draw or a wrong reflection fails.
struct ModeTwoCase {
  std::unique_ptr<ModelState> s = chain({kAla, kAla, kAla, kAla, kAla});
  BBKey k;
  RandState rng;
  int seed = 0;

  explicit ModeTwoCase(int sscode) {
    s->sscode(3) = sscode;
    s->resfix.fill(2);
    s->resfix(3) = 0;
    k = key_of(*s, 3);
    s->nbbc = 1000, s->nbbh = 3000, s->nbbe = 1000, s->nbb = 5000;
  }
  // Copies the stream as it stands before the next round.
  void mark() { rng = s->rng, seed = s->iseed; }
  float draw() { return rand(rng, seed); }
  int nint(float v) { return int(std::round(v)); }
  static int shift(int b, int d, int cap) { return b + d < 0 || b + d > cap ? b - d : b + d; }
  void expect_stream_followed() const {
    EXPECT_EQ(s->iseed, seed);
    EXPECT_EQ(s->rng.iy, rng.iy);
  }
};

TEST(Backbone, ModeTwoDrawsGoToTheSlotThePerturbationAndTheStepInThatOrder) {
  {
    // A cell with slots 1..6 filled (fragment 10 + slot): the first draw picks the slot; an empty
    // slot gives f = 0, so a second draw picks a random coil fragment.
    ModeTwoCase m(0);
    for (int slot = 1; slot <= 6; ++slot)
      m.s->bbdatc.set(m.k.b1, m.k.b2, m.k.b3, m.k.b4, m.k.b5, kAla, slot, 10 + slot);
    std::set<int> slots;
    int random_picks = 0;
    for (int round = 0; round < 16; ++round) {
      m.s->ifrag(3) = 99;
      m.mark();
      bbadd(*m.s, 2);
      const int slot = int(m.draw() * 998631.0f) % 10 + 1;
      slots.insert(slot);
      if (slot <= 6) {
        EXPECT_EQ(m.s->ifrag(3), 10 + slot) << round;
      } else {
        ++random_picks;
        EXPECT_EQ(m.s->ifrag(3), int(m.draw() * 1000.0f) + 1) << round;
      }
      m.expect_stream_followed();
    }
    EXPECT_GE(slots.size(), 6u);
    EXPECT_GT(random_picks, 0);
  }
  for (int sscode : {0, 4}) {
    // The primary table is empty at the key and full around it (fragment numbers encode the
    // offsets); another table's 60000 starts the re-choice. The slot draw is still taken, then
    // d1..d5 move b1..b5 in that order, reflecting at the edges; a strand keeps b1..b3 from
    // shrinking.
    SCOPED_TRACE(sscode);
    ModeTwoCase m(sscode);
    BBTable& primary = sscode == 4 ? m.s->bbdatb : m.s->bbdatc;
    BBTable& other = sscode == 4 ? m.s->bbdatc : m.s->bbdatb;
    auto code = [&](int b1, int b2, int b3, int b4, int b5) {
      return 1 + (b1 - m.k.b1 + 3) * 625 + (b2 - m.k.b2 + 2) * 125 + (b3 - m.k.b3 + 2) * 25 +
             (b4 - m.k.b4 + 2) * 5 + (b5 - m.k.b5 + 2);
    };
    for (int b1 = m.k.b1 - 3; b1 <= m.k.b1 + 3; ++b1)
      for (int b2 = m.k.b2 - 2; b2 <= m.k.b2 + 2; ++b2)
        for (int b3 = m.k.b3 - 2; b3 <= m.k.b3 + 2; ++b3)
          for (int b4 = m.k.b4 - 2; b4 <= m.k.b4 + 2; ++b4)
            for (int b5 = m.k.b5 - 2; b5 <= m.k.b5 + 2; ++b5)
              if (code(b1, b2, b3, b4, b5) != code(m.k.b1, m.k.b2, m.k.b3, m.k.b4, m.k.b5))
                primary.set(b1, b2, b3, b4, b5, kAla, 1, code(b1, b2, b3, b4, b5));
    other.set(m.k.b1, m.k.b2, m.k.b3, m.k.b4, m.k.b5, kAla, 1, 60000);
    for (int round = 0; round < 8; ++round) {
      m.s->ifrag(3) = 0;
      m.mark();
      bbadd(*m.s, 2);
      m.draw();  // the slot
      int d[5];
      d[0] = m.nint((2.0f * m.draw() - 1.0f) * 3.0f);
      for (int j = 1; j < 5; ++j) d[j] = m.nint(2.0f * (2.0f * m.draw() - 1.0f));
      int b1 = ModeTwoCase::shift(m.k.b1, d[0], 25), b2 = ModeTwoCase::shift(m.k.b2, d[1], 10);
      int b3 = ModeTwoCase::shift(m.k.b3, d[2], 10);
      if (sscode == 4) b1 = std::max(b1, m.k.b1), b2 = std::max(b2, m.k.b2), b3 = std::max(b3, m.k.b3);
      int b4 = ModeTwoCase::shift(m.k.b4, d[3], 4), b5 = ModeTwoCase::shift(m.k.b5, d[4], 10);
      ASSERT_NE(code(b1, b2, b3, b4, b5), code(m.k.b1, m.k.b2, m.k.b3, m.k.b4, m.k.b5)) << round;
      EXPECT_EQ(m.s->ifrag(3), code(b1, b2, b3, b4, b5)) << round;
      m.expect_stream_followed();
    }
  }
  {
    // Nothing in the helix table: after the slot and d1..d5 draws, a seventh draw steps the
    // lookup's fragment (1200, from the coil table) by up to 1970, back the other way once when
    // that leaves the helix records 1001..4000.
    ModeTwoCase m(2);
    m.s->bbdatc.set(m.k.b1, m.k.b2, m.k.b3, m.k.b4, m.k.b5, kAla, 1, 1200);
    int reflected = 0;
    for (int round = 0; round < 12; ++round) {
      m.mark();
      bbadd(*m.s, 2);
      for (int j = 0; j < 6; ++j) m.draw();
      const int dd = int((2.0f * m.draw() - 1.0f) * 1970.0f);
      const int want = 1200 + dd >= 1001 ? 1200 + dd : 1200 - dd;
      reflected += want != 1200 + dd;
      EXPECT_EQ(m.s->ifrag(3), want) << round;
      m.expect_stream_followed();
    }
    EXPECT_GT(reflected, 0);
    EXPECT_LT(reflected, 12);
  }
}

TEST(Backbone, ModeTwoChangesTheFragmentAndKeepsFrozenResidues) {
  auto s = chain({kAla, kAla, kAla, kAla, kAla});
  s->sscode.fill(2);
  for (int i = 1; i <= 5; ++i) {
    BBKey k = key_of(*s, i);
    for (int slot = 1; slot <= 10; ++slot)
      add_fragment(*s, s->bbdata, k, kAla, slot, 10 * (i - 1) + slot,
                   {2.3f + 0.02f * float(slot), 0.1f, 0}, {1.5f, 0.1f * float(slot), 0});
  }
  set_counts(*s, 0, 50, 0);
  bbadd(*s, 0);
  s->resfix(3) = 2;
  Vec3 c3 = pos(*s, s->ica(3) + 1);
  int f3 = s->ifrag(3);
  std::set<int> seen;
  int changed = 0, total = 0;
  for (int round = 0; round < 40; ++round) {
    std::vector<int> before;
    for (int i = 1; i <= 5; ++i) before.push_back(s->ifrag(i));
    bbadd(*s, 2);
    for (int i : {1, 2, 4, 5}) {
      ++total;
      changed += s->ifrag(i) != before[std::size_t(i - 1)];
      EXPECT_GE(s->ifrag(i), 1);
      EXPECT_LE(s->ifrag(i), 70000);
    }
    seen.insert(s->ifrag(2));
  }
  EXPECT_GE(changed, total * 9 / 10);
  EXPECT_EQ(s->ifrag(3), f3);
  expect_near(pos(*s, s->ica(3) + 1), c3, 0.0f);
  EXPECT_GT(seen.size(), 5u);
}

}  // namespace
}  // namespace vorb
