#include "builders/hydrogens.hpp"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "geometry/rotate.hpp"
#include "geometry/sort.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "model/coords.hpp"

namespace vorb {
namespace {

constexpr float kRad = 0.0174533f;      // degrees to radians
constexpr float kStagger = 2.0943949f;  // 120 degrees
constexpr float kQuarter = 1.5707963f;  // 90 degrees

// Missing in the sense of the main scan (hydrogens are placed when x >= 990).
bool unplaced(const ModelState& s, int i) { return s.xx(i) >= 990.0f; }
// Placed in the sense of the partner lists (x <= 990).
bool known(const ModelState& s, int i) { return s.xx(i) <= 990.0f; }

bool inside(float d, float lo, float hi) { return d >= lo && d <= hi; }

// Copy of q turned about the axis through p along `axis` (normalised in place, as every
// rotation of one rule reuses its axis variables).
Vec3 turned(Vec3 q, Vec3 p, Vec3& axis, float theta) {
  rotate_matrix2(q.x, q.y, q.z, p.x, p.y, p.z, axis.x, axis.y, axis.z, theta);
  return q;
}

Vec3 at_length(Vec3 p, Vec3 r, float b, float len) {
  return {p.x + b * (r.x - p.x) / len, p.y + b * (r.y - p.y) / len, p.z + b * (r.z - p.z) / len};
}

// The references of one hydrogen: parent P, its placed partners A (K = A[0]), and the placed
// heavy partners Lh of K other than P.
struct Refs {
  int p = 0;
  float b = 0.0f;
  int a[3] = {0, 0, 0};
  int na = 0;
  int k = 0;
  int lh[3] = {0, 0, 0};
  int nlh = 0;
  int l1() const { return lh[0]; }
  int llast() const { return lh[nlh - 1]; }
};

Refs references(const ModelState& s, int i) {
  Refs r;
  r.p = s.bonda(i, 1);
  r.b = s.bond(i, 2);
  const int np = s.bonda(r.p, 5);
  for (int c = 1; c <= np && c <= 4 && r.na < 3; ++c) {
    const int q = s.bonda(r.p, c);
    if (q >= 1 && q <= s.natom && known(s, q)) r.a[r.na++] = q;
  }
  if (r.na == 0) return r;
  r.k = r.a[0];
  const int nk = s.bonda(r.k, 5);
  for (int c = 1; c <= nk && c <= 4 && r.nlh < 3; ++c) {
    const int q = s.bonda(r.k, c);
    if (q >= 1 && q <= s.natom && q != r.p && s.aty(q) != 'H' && known(s, q)) r.lh[r.nlh++] = q;
  }
  return r;
}

// Bond angle K-P-H of hydrogen i from the angle block of its residue, in radians.
bool bond_angle(const ModelState& s, int i, const Refs& r, float& theta) {
  const int res = s.ress2(i);
  if (res < 1) return false;
  const int first = (res - 1) * kAngPerRes + 1;
  const int last = std::min(res * kAngPerRes, kMaxAng);
  for (int m = first; m <= last; ++m) {
    if (s.anga(m, 1) <= 0) continue;
    if ((s.anga(m, 1) == r.k && s.anga(m, 2) == r.p && s.anga(m, 3) == i) ||
        (s.anga(m, 1) == i && s.anga(m, 3) == r.k)) {
      theta = s.ang(m, 2) * kRad;
      return true;
    }
  }
  return false;
}

// Writes a position into hydrogen h unless the hydrogen was already present before this call:
// the group rules place their partners too, and an input hydrogen is never moved.
struct Writer {
  ModelState& s;
  void put(int h, Vec3 x, int flag) const {
    if (!writable(h)) return;
    set_pos(s, h, x);
    s.assrd(h) = flag;
  }
  void flag(int h, int f) const {
    if (writable(h)) s.assrd(h) = f;
  }
  bool writable(int h) const { return h >= 1 && s.aty(h) == 'H' && unplaced(s, h); }
};

// Methyl rule: i = "3H", i-1 = "2H", i-2 = "1H" staggered about K-P.
void methyl(ModelState& s, int i, const Refs& r, float theta) {
  const Vec3 p = pos(s, r.p), kk = pos(s, r.k), l1 = pos(s, r.l1()), ll = pos(s, r.llast());
  float b = r.b;
  if (s.aty(r.p) == 'C') b = 0.95f * b;
  Vec3 v = kk - p;
  Vec3 n = cross(l1 - kk, v);

  Vec3 h3;
  int f3 = 1;
  Vec3 q = turned(kk, p, n, theta);
  float len = dist(q, p);
  if (inside(len, 0.01f, 5.0f)) {
    h3 = at_length(p, q, b, len);
  } else {
    const float dd = dist(ll, kk);
    if (!inside(dd, 0.001f, 10.0f)) {
      h3 = p + (kk - ll) / s.bond(r.k, 2);
      f3 = 2;
    } else {
      h3 = p + b * (kk - ll) / dd;
    }
  }
  const Writer w{s};
  w.put(i, h3, f3);
  const Vec3 off = h3 - p;

  q = turned(h3, p, v, kStagger);
  len = dist(q, p);
  if (inside(len, 0.01f, 100.0f))
    w.put(i - 1, at_length(p, q, b, len), 1);
  else
    w.put(i - 1, {p.x + -0.33380678f * off.x, p.y + 0.9426415f * off.y, p.z}, 2);

  q = turned(h3, p, v, -kStagger);
  len = dist(q, p);
  if (inside(len, 0.01f, 10.0f))
    w.put(i - 2, at_length(p, q, b, len), 1);
  else
    w.put(i - 2, {p.x + -0.33380678f * off.x, p.y + -0.9426415f * off.y, p.z}, 2);
}

// Amide rule: the pair on a nitrogen in the plane of K and L, i trans and i-1 cis to L.
void amide(ModelState& s, int i, const Refs& r, int l, float theta) {
  const Vec3 p = pos(s, r.p), kk = pos(s, r.k), ll = pos(s, l);
  const float b = r.b;
  Vec3 v = kk - p;
  Vec3 n = cross(ll - kk, v);
  const float dd = dist(ll, kk);
  const Writer w{s};
  const bool free_j = w.writable(i - 1);

  Vec3 q = turned(kk, p, n, theta);
  float len = dist(q, p);
  if (inside(len, 0.01f, 5.0f))
    w.put(i, at_length(p, q, b, len), 1);
  else if (!inside(dd, 0.001f, 10.0f))
    w.put(i, p + 0.6f * (kk - ll), 2);
  else
    w.put(i, p + b * (kk - ll) / dd, 2);

  q = turned(kk, p, n, -theta);
  len = dist(q, p);
  if (inside(len, 0.01f, 5.0f)) {
    w.put(i - 1, at_length(p, q, b, len), 1);
  } else if (!inside(dd, 0.001f, 5.0f)) {
    w.put(i - 1, p + 0.6f * (kk - ll), 2);
    if (free_j)
      message_stream() << (ffmt::ListWriter() << "severa wrong NH2-2" << (i - 1) << s.xx(i - 1)
                                       << s.yy(i - 1))
                       .str()
                << '\n';
  } else {
    w.put(i - 1, p + b * (ll - kk) / dd, 1);
  }

  // An amino-terminal proline carries its pair out of the ring plane.
  if (s.resd(i) == "PRO" && s.ress2(i) == 1) {
    for (int h : {i - 1, i}) {
      Vec3 x = pos(s, h);
      rotate_matrix2(x.x, x.y, x.z, p.x, p.y, p.z, v.x, v.y, v.z, kQuarter);
      if (h == i || free_j) set_pos(s, h, x);
    }
  }
}

// Methylene rule: the pair on a tetrahedral centre, averaged over two passes that exchange
// the roles of the two placed partners K and M.
void methylene(ModelState& s, int i, const Refs& r, float theta) {
  float b = r.b;
  if (s.aty(r.p) == 'C') b = 0.95f * b;
  int m = r.a[1];
  if (r.a[1] == r.a[0]) {
    m = r.a[0];
    if (std::abs(r.p - m) > 20)
      message_stream() << (ffmt::ListWriter() << "ip4 wrong!!!").str() << '\n';
  }
  const float th = 1.1f * theta;
  const Vec3 p = pos(s, r.p);
  const Writer w{s};
  const bool free_i = w.writable(i), free_j = w.writable(i - 1);

  // One pass: copies of `ref` turned about (other - P) by -sign*th for i and +sign*th for i-1.
  // In the second pass the result is averaged with the first, a fallback is taken as it is.
  auto pass = [&](int kref, int other, float sign, bool second) {
    const Vec3 kk = pos(s, kref), oo = pos(s, other);
    Vec3 axis = oo - p;
    const bool have_l = r.nlh > 0;
    const Vec3 ll = have_l ? pos(s, r.llast()) : Vec3{};
    const float dd = have_l ? dist(ll, kk) : 0.0f;
    for (int t = 0; t < 2; ++t) {
      const int h = t == 0 ? i : i - 1;
      const float ang = (t == 0 ? sign : -sign) * th;
      const Vec3 q = turned(kk, p, axis, ang);
      const float len = dist(q, p);
      if (!(t == 0 ? free_i : free_j)) continue;
      if (inside(len, 0.01f, 5.0f)) {
        const Vec3 x = at_length(p, q, b, len);
        if (!second) {
          set_pos(s, h, x);
        } else if (s.xx(h) < 990.0f) {
          const Vec3 x1 = pos(s, h);
          set_pos(s, h, {(x1.x + p.x + b * (q.x - p.x) / len) / 2.0f,
                         (x1.y + p.y + b * (q.y - p.y) / len) / 2.0f,
                         (x1.z + p.z + b * (q.z - p.z) / len) / 2.0f});
        }
        continue;
      }
      // Fallbacks along the bond from K's last heavy partner; none without such a partner.
      if (!have_l) {
        set_missing(s, h);
        continue;
      }
      if (t == 1 && !inside(dd, 0.001f, 10.0f))
        message_stream() << (ffmt::ListWriter() << "neighbour bond position severa wrong CH2-2" << i
                                         << s.xx(i))
                         .str()
                  << '\n';
      if (!inside(dd, 0.001f, 10.0f)) {
        set_pos(s, h, p + (kk - ll) / s.bond(kref, 2));
        s.assrd(h) = 2;
      } else {
        set_pos(s, h, p + b * (t == 0 ? ll - kk : kk - ll) / dd);
      }
    }
  };

  if (free_i) s.assrd(i) = 1;
  if (free_j) s.assrd(i - 1) = 1;
  pass(r.k, m, 1.0f, false);
  pass(m, r.k, -1.0f, true);
}

// Single hydrogen on a parent with three, two or one placed partners.
void single(ModelState& s, int i, const Refs& r, float theta, bool have_theta) {
  const Vec3 p = pos(s, r.p);
  const Vec3 fallback = p + Vec3{0.3f, 0.6f, 0.7f};
  if (r.na == 3) {
    const Vec3 c = (pos(s, r.a[0]) + pos(s, r.a[1]) + pos(s, r.a[2])) / 3.0f;
    const float d = dist(p, c);
    if (inside(d, 0.01f, 10.0f))
      Writer{s}.put(i, p + r.b * (p - c) / d, 1);
    else
      Writer{s}.put(i, fallback, 2);
  } else if (r.na == 2) {
    const float b = 0.95f * r.b;
    const Vec3 c = (pos(s, r.a[0]) + pos(s, r.a[1])) / 2.0f;
    const float d = dist(p, c);
    if (inside(d, 0.01f, 5.0f))
      Writer{s}.put(i, p + b * (p - c) / d, 1);
    else
      Writer{s}.put(i, fallback, 2);
  } else if (r.na == 1) {
    if (r.nlh == 0 || !have_theta) return;  // no plane to place it in
    const float b = 0.95f * r.b;
    const Vec3 kk = pos(s, r.k);
    Vec3 n = cross(pos(s, r.l1()) - kk, kk - p);
    const Vec3 q = turned(kk, p, n, theta);
    const float len = dist(q, p);
    if (inside(len, 0.01f, 5.0f))
      Writer{s}.put(i, at_length(p, q, b, len), 1);
    else
      Writer{s}.put(i, fallback, 2);
  }
}

}  // namespace

void hadd(ModelState& s) {
  float theta = 0.0f;
  bool have_theta = false;  // the last matched bond angle is reused when a record is missing
  int i = s.natom;
  while (i >= 2) {
    const int cur = i;
    --i;
    if (s.aty(cur) != 'H' || !unplaced(s, cur)) continue;
    const int parent = s.bonda(cur, 1);
    if (parent < 1 || parent > s.natom || !known(s, parent)) continue;

    const Refs r = references(s, cur);
    if (r.na > 0 && bond_angle(s, cur, r, theta)) have_theta = true;

    const Name4& name = s.atom(cur, 1);
    if (name.starts_with("3H")) {
      // The group is left missing when it has no reference plane.
      if (r.na > 0 && r.nlh > 0 && have_theta && cur >= 3) methyl(s, cur, r, theta);
      i = cur - 3;
    } else if (name.starts_with("2H")) {
      if (s.aty(r.p) == 'N') {
        int l = 0;
        if (r.nlh > 0) l = s.aty(r.lh[0]) == 'C' ? (r.nlh > 1 ? r.lh[1] : 0) : r.lh[0];
        if (r.na > 0 && l != 0 && have_theta) amide(s, cur, r, l, theta);
      } else {
        if (r.na >= 2 && have_theta) methylene(s, cur, r, theta);
      }
      i = cur - 2;
    } else {
      single(s, cur, r, theta, have_theta);
    }
  }
  if (s.mode_is("1")) ad_1h(s);
}

void ad_1h(ModelState& s) {
  struct Cand {
    int k;
    float d2;
  };
  std::vector<Cand> cand;
  std::vector<float> keys;
  for (int h = 1; h <= s.natom; ++h) {
    if (s.aty(h) != 'H' || s.missing(h)) continue;
    const int g0 = s.bonda(h, 1);
    if (g0 < 1 || g0 > s.natom || (s.aty(g0) != 'O' && s.aty(g0) != 'S')) continue;
    const int g = s.bonda(g0, 1);
    if (g < 1 || g > s.natom || s.missing(g0) || s.missing(g)) continue;
    const Vec3 p = pos(s, g0), hp = pos(s, h);

    // Atoms of other residues within 5 A, leaving a residue at its first atom beyond 12 A.
    cand.clear();
    const int own = s.ress(h);
    int k = 1;
    while (k <= s.natom) {
      if (s.ress(k) == own) {
        ++k;
        continue;
      }
      const float dx = s.xx(k) - hp.x, dy = s.yy(k) - hp.y, dz = s.zz(k) - hp.z;
      const float d2 = dx * dx + dy * dy + dz * dz;
      if (d2 > 144.0f) {
        const int rk = s.ress(k);
        if (rk >= s.nres) break;
        k = std::max(k + 1, s.ica(rk + 1) - 1);
        continue;
      }
      if (d2 > 0.01f && d2 < 25.0f) cand.push_back({k, d2});
      ++k;
    }
    if (cand.empty()) continue;

    keys.clear();
    for (const Cand& c : cand) keys.push_back(c.d2);
    std::vector<int> order;
    if (cand.size() == 1)
      order = {1};
    else
      order = sortindex(keys);

    const float rad = s.atmpar(h, 3) + 1.0f;
    Vec3 sum;
    for (int o : order) {
      const Cand& c = cand[std::size_t(o - 1)];
      const char el = s.aty(c.k);
      float wk;
      if (c.d2 >= rad * rad || el == 'O')
        wk = el == 'O' ? 7.0f : el == 'N' ? 1.0f : 0.0f;
      else
        wk = -1.0f;
      sum.x = sum.x + wk * (s.xx(c.k) - hp.x) / c.d2;
      sum.y = sum.y + wk * (s.yy(c.k) - hp.y) / c.d2;
      sum.z = sum.z + wk * (s.zz(c.k) - hp.z) / c.d2;
    }
    float len = norm(sum);
    if (len < 0.01f) len = 0.01f;
    const Vec3 dir = sum / len;
    const float c = dot(dir, hp - p) / s.bond(h, 1) / (s.aty(g0) == 'O' ? 0.956f : 0.996f);
    if (!(std::fabs(c) < 1.0f)) continue;
    Vec3 x = hp;
    Vec3 axis = pos(s, g) - p;
    rotate_matrix2(x.x, x.y, x.z, p.x, p.y, p.z, axis.x, axis.y, axis.z, std::acos(c));
    set_pos(s, h, x);
  }
}

}  // namespace vorb
