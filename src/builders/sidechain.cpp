#include "builders/sidechain.hpp"

#include <algorithm>
#include <array>

#include "geometry/place.hpp"
#include "model/coords.hpp"
#include "model/residues.hpp"

namespace vorb {
namespace {

// CB offsets by residue type (index = ityp), Angstrom: a along the chain direction, c along
// the normal of the C-alpha plane, d along the outward bisector of the C-alpha angle.
// Set 1 is for a virtual C-alpha angle below 105 degrees, set 2 for 105 degrees or more.
constexpr std::array<float, 21> xcb1 = {0.0f,   0.000f, 0.249f, 0.192f, 0.189f, 0.271f, 0.218f,
                                        0.276f, 0.154f, 0.235f, 0.140f, 0.047f, 0.244f, 0.215f,
                                        0.239f, 0.216f, 0.222f, 0.152f, 0.210f, 0.207f, 0.228f};
constexpr std::array<float, 21> ycb1 = {0.0f,    0.000f,  -1.118f, -1.089f, -1.073f, -1.095f,
                                        -1.089f, -1.100f, -1.091f, -1.098f, -1.049f, -1.034f,
                                        -1.107f, -1.105f, -1.110f, -1.102f, -1.102f, -1.070f,
                                        -1.085f, -1.087f, -1.095f};
constexpr std::array<float, 21> zcb1 = {0.0f,   0.000f, 0.976f, 1.016f, 1.025f, 1.019f, 1.029f,
                                        1.015f, 0.971f, 1.002f, 1.050f, 1.064f, 0.996f, 0.994f,
                                        0.990f, 0.999f, 0.996f, 1.031f, 1.012f, 1.010f, 1.006f};
constexpr std::array<float, 21> xcb2 = {0.0f,   0.000f, 0.113f, 0.130f, 0.098f, 0.090f, 0.145f,
                                        0.085f, 0.096f, 0.102f, 0.093f, 0.073f, 0.107f, 0.108f,
                                        0.109f, 0.101f, 0.100f, 0.082f, 0.097f, 0.098f, 0.108f};
constexpr std::array<float, 21> ycb2 = {0.0f,    0.000f,  -0.736f, -0.765f, -0.726f, -0.659f,
                                        -0.740f, -0.654f, -0.827f, -0.702f, -0.749f, -0.738f,
                                        -0.692f, -0.718f, -0.717f, -0.710f, -0.719f, -0.729f,
                                        -0.706f, -0.709f, -0.707f};
constexpr std::array<float, 21> zcb2 = {0.0f,   0.000f, 1.294f, 1.276f, 1.308f, 1.373f, 1.310f,
                                        1.376f, 1.258f, 1.327f, 1.287f, 1.292f, 1.334f, 1.311f,
                                        1.309f, 1.316f, 1.310f, 1.305f, 1.323f, 1.322f, 1.322f};

constexpr float kCosWide = -0.258819f;      // cos 105 degrees: extended trace at or above it
constexpr float kBranchTurn = 2.1816599f;   // 125 degrees between the two branch atoms
constexpr float kProCg = 2.22f;             // N-CG distance of the proline ring
constexpr float kProCd = 1.618f;            // reach of CD from the CA-CB midpoint

// An atom the builders still have to place, and one they may build from. The two tests meet
// at 990.0, which counts as both.
bool unplaced(const ModelState& s, int i) { return s.xx(i) >= kMissingTest; }

struct Placement {
  Vec3 x;
  int flag = 1;
};

class HeavyAdder {
 public:
  explicit HeavyAdder(ModelState& s) : s_(s) {}

  void run() {
    for (int i = 1; i <= s_.natom; ++i) {
      if (s_.aty(i) == 'H' || !unplaced(s_, i)) continue;
      place(i);
    }
  }

 private:
  ModelState& s_;

  // Reference atoms of one treated atom: parent P at bond length b, K the first placed partner
  // of P and L the first placed heavy partner of K other than P (0 when there is none).
  struct Refs {
    int p = 0, k = 0, l = 0;
    float b = 0.0f;
  };

  bool usable(int j) const { return j >= 1 && j <= s_.natom && !(s_.xx(j) > kMissingTest); }
  int partners(int i) const { return std::clamp(s_.bonda(i, 5), 0, 4); }
  Vec3 at(int j) const { return pos(s_, j); }

  Refs refs(int i) const {
    Refs r;
    for (int k = 1; k <= partners(i); ++k) {
      if (usable(s_.bonda(i, k))) {
        r.p = s_.bonda(i, k);
        r.b = s_.bond(i, 2 * k);
        break;
      }
    }
    if (r.p == 0) return r;
    for (int k = 1; k <= partners(r.p) && r.k == 0; ++k)
      if (usable(s_.bonda(r.p, k))) r.k = s_.bonda(r.p, k);
    if (r.k == 0) return r;
    for (int m = 1; m <= partners(r.k); ++m) {
      const int ll = s_.bonda(r.k, m);
      if (ll != r.p && usable(ll) && s_.aty(ll) != 'H') {
        r.l = ll;
        break;
      }
    }
    return r;
  }

  // New bond parallel to L->K; when K and L coincide, the terminal fallback puts X at P + (P -
  // K) and the inner one at P + (K - L).
  Placement chain(const Refs& r, int k, int l, bool terminal) const {
    const Vec3 p = at(r.p), kp = at(k), lp = at(l);
    Placement out;
    if (place_by_extension(p, kp - lp, r.b, 0.001f, out.x)) return out;
    out.x = terminal ? p + (p - kp) : p + (kp - lp);
    out.flag = 2;
    return out;
  }

  // Chain rule through K and L. When K has no such L (the N of the first residue, which has no
  // other heavy partner) the atom points away from P's other placed heavy partners (against the
  // sum of the unit bonds to them), as a fallback; with fewer than two of them it is not placed.
  bool chain_kl(int i, const Refs& r, bool terminal, Placement& out) const {
    if (r.l != 0) {
      out = chain(r, r.k, r.l, terminal);
      return true;
    }
    const Vec3 p = at(r.p);
    Vec3 sum;
    int n = 0;
    for (int k = 1; k <= partners(r.p); ++k) {
      const int j = s_.bonda(r.p, k);
      if (j == i || !usable(j) || s_.aty(j) == 'H') continue;
      const Vec3 u = at(j) - p;
      const float len = norm(u);
      if (!(len > 0.001f)) return false;
      sum = sum + u / len;
      ++n;
    }
    if (n < 2 || !place_by_extension(p, Vec3{} - sum, r.b, 0.001f, out.x)) return false;
    out.flag = 2;
    return true;
  }

  // Chain rule with L replaced by K + 1 (for a CB parent: K = CA, K + 1 = C).
  bool chain_next(const Refs& r, bool terminal, Placement& out) const {
    if (r.k == 0 || !usable(r.k + 1)) return false;
    out = chain(r, r.k, r.k + 1, terminal);
    return true;
  }

  // Third substituent of a trigonal centre P, pointing away from the midpoint of m1 and m2.
  bool trigonal(const Refs& r, int m1, int m2, Placement& out) const {
    if (!usable(m1) || !usable(m2)) return false;
    const Vec3 p = at(r.p);
    const Vec3 mid = (at(m1) + at(m2)) / 2.0f;
    if (place_by_extension(p, p - mid, r.b, 0.001f, out.x)) return true;
    if (r.l == 0 || !usable(r.p - 1)) return false;
    out.x = p + (at(r.p - 1) - at(r.l));
    out.flag = 2;
    return true;
  }

  // The second branch atom: a copy of the first (atom i - 1) turned by `turn` about the bond
  // from `from` to P, taken as it stands.
  bool branch(int i, const Refs& r, int from, float turn, Placement& out) const {
    if (!usable(i - 1) || !usable(from)) return false;
    const Vec3 p = at(r.p);
    Vec3 axis = p - at(from);
    out.x = rotated_copy(at(i - 1), p, axis, turn);
    return true;
  }

  bool terminal_rule(int i, const Refs& r, Placement& out) const {
    const Name4& name = s_.atomty(i);
    if (name == " OD2" || name == " OE2" || name == " ND2" || name == " NE2" ||
        name == " NH2" || name == " OXT")
      return trigonal(r, r.p - 1, r.p + 1, out);
    if (name == " OH ") return trigonal(r, r.p - 1, r.p - 2, out);
    // The two methyls of LEU and VAL are named so that the second lies +125 degrees from the
    // first about the bond into the branch point. The CB of ILE and THR is a stereocentre: its
    // natural configuration puts CG2 at -125 degrees from CG1 or OG1.
    if (name == " CD2" && s_.resd(i) == "LEU") return branch(i, r, r.p - 1, kBranchTurn, out);
    if (name == " CG2") {
      const bool chiral = s_.resd(i) == "ILE" || s_.resd(i) == "THR";
      return branch(i, r, r.p - 3, chiral ? -kBranchTurn : kBranchTurn, out);
    }
    if (name == " CG1" || name == " SG " || name == " OG1" || name == " OG ")
      return chain_next(r, true, out);
    // Everything else, ILE CD1 and MET CE included, extends the chain all-trans.
    return chain_kl(i, r, true, out);
  }

  // Ring atoms from CG, CB and the backbone direction C - N: e = CG - CB, n the unit normal
  // of (C - N) x e. first is the index of the first ring atom after CG (CD1, or ND1 of HIS).
  // Returns whether the ring was written.
  bool aromatic(const Name3& res, Vec3 cg, Vec3 cb, Vec3 n_at, Vec3 c_at, int first) {
    const Vec3 e = cg - cb;
    const Vec3 nv = cross(c_at - n_at, e);
    const Vec3 n = nv / std::max(norm(nv), 0.001f);
    auto put = [&](int j, Vec3 x, bool flag) {
      set_pos(s_, j, x);
      if (flag) s_.assrd(j) = 1;
    };
    if (res == "PHE" || res == "TYR") {
      const int last = first + (res == "TYR" ? 5 : 4);
      if (last > s_.natom) return false;
      const Vec3 cz = cg + 1.788f * e;
      const Vec3 f = cz - cg;
      put(first + 4, cz, false);
      put(first, cg + 1.191f * n + 0.25f * f, true);
      put(first + 1, cg - 1.191f * n + 0.25f * f, true);
      put(first + 2, cg + 1.191f * n + 0.75f * f, true);
      put(first + 3, cg - 1.191f * n + 0.75f * f, true);
      if (res == "TYR") put(first + 5, cz + 0.937f * e, false);
      return true;
    }
    if (res == "TRP") {
      if (first + 7 > s_.natom) return false;
      const Vec3 cd1 = cg + 1.19f * n + 0.63f * e;
      const Vec3 cd2 = cg - 1.19f * n + 0.448f * e;
      const Vec3 ne1 = cd1 + 0.819f * e - 0.688f * n;
      const Vec3 ce2 = cd2 + 0.774f * e + 0.688f * n;
      const Vec3 ce3 = cd2 - 1.19f * n - 0.448f * e;
      const Vec3 cz2 = ce2 - 1.19f * n + 0.448f * e;
      const Vec3 cz3 = ce3 - 1.19f * n + 0.448f * e;
      const Vec3 ch2 = ce2 + cz3 - cd2;
      const Vec3 ring[8] = {cd1, cd2, ne1, ce2, ce3, cz2, cz3, ch2};
      for (int k = 0; k < 8; ++k) put(first + k, ring[k], true);
      return true;
    }
    if (res == "HIS") {
      if (first + 3 > s_.natom) return false;
      put(first, cg + 1.19f * n + 0.6f * e, true);
      put(first + 1, cg - 1.19f * n + 0.63f * e, true);
      put(first + 2, cg + 0.688f * n + 1.35f * e, true);
      put(first + 3, cg - 0.688f * n + 1.41f * e, true);
      return true;
    }
    return false;
  }

  // CD of proline from CG, N, CA and CB.
  static Vec3 proline_cd(Vec3 cg, Vec3 n, Vec3 ca, Vec3 cb) {
    const Vec3 w = (cg + n - ca - cb) / 2.0f;
    return (cb + ca) / 2.0f + kProCd * w;
  }

  // Ring templates started from a freshly placed CG (atom i; CB = i - 1, CA = K).
  void ring_from_cg(int i, const Refs& r) {
    const int cb = i - 1, ca = r.k;
    if (ca == 0 || !usable(cb) || !usable(ca - 1) || !usable(ca + 1)) return;
    const Name3& res = s_.resd(i);
    if (res == "PRO") {
      if (i + 1 > s_.natom) return;
      const Vec3 n = at(ca - 1);
      const Vec3 u = at(i) - n;
      const Vec3 cg = n + kProCg * u / std::max(norm(u), 0.001f);
      set_pos(s_, i, cg);
      set_pos(s_, i + 1, proline_cd(cg, n, at(ca), at(cb)));
      s_.assrd(i + 1) = 1;
      return;
    }
    aromatic(res, at(i), at(cb), at(ca - 1), at(ca + 1), i + 1);
  }

  // Ring templates for a missing CD (PRO) or CD1 (PHE, TYR, TRP) next to a placed CG.
  // Returns whether atom i was placed.
  bool ring_from_cd(int i) {
    const Name3& res = s_.resd(i);
    const Name4& name = s_.atomty(i);
    const bool pro = res == "PRO" && name == " CD ";
    const bool arom = (res == "PHE" || res == "TYR" || res == "TRP") && name == " CD1";
    if (!pro && !arom) return false;
    const int cg = i - 1, cb = i - 2;
    const int ca = s_.ica(s_.ress(i));
    if (!usable(cg) || !usable(cb) || !usable(ca) || !usable(ca - 1) || !usable(ca + 1))
      return false;
    if (pro) {
      set_pos(s_, i, proline_cd(at(cg), at(ca - 1), at(ca), at(cb)));
      s_.assrd(i) = 1;
      return true;
    }
    return aromatic(res, at(cg), at(cb), at(ca - 1), at(ca + 1), i);
  }

  void place(int i) {
    const Refs r = refs(i);
    if (r.p == 0) return;
    const int heavy = s_.bonda(i, 6);
    Placement x;
    bool done = false;
    if (heavy == 1) {
      done = terminal_rule(i, r, x);
    } else if (heavy > 1) {
      done = s_.atomty(i) == " CG " ? chain_next(r, false, x) : chain_kl(i, r, false, x);
    }
    if (done) {
      set_pos(s_, i, x.x);
      s_.assrd(i) = x.flag;
    }
    if (heavy < 2) return;
    const int t = s_.ress(i) >= 1 && s_.ress(i) <= s_.nres ? s_.ityp(s_.ress(i)) : 0;
    if (t != kPro && t < kHis) return;
    if (s_.atomty(i) == " CG ") {
      if (done) ring_from_cg(i, r);
    } else {
      ring_from_cd(i);
    }
  }
};

}  // namespace

void cb_add(ModelState& s) {
  for (int r = 2; r <= s.nres - 1; ++r) {
    const int t = s.ityp(r);
    if (t <= kGly || t > kTrp) continue;
    const int cb = s.ica(r) + 3;
    if (!unplaced(s, cb)) continue;
    const int ia = s.ica(r - 1), ib = s.ica(r), ic = s.ica(r + 1);
    if (s.missing(ia) || s.missing(ib) || s.missing(ic)) continue;
    const Vec3 a = pos(s, ia), b = pos(s, ib), c = pos(s, ic);
    const Vec3 b1 = b - a, b2 = c - b;
    const float l1 = norm(b1), l2 = norm(b2);
    if (l1 * l2 < 0.001f) continue;
    const Vec3 along = b1 / l1 + b2 / l2;
    const Vec3 out = b1 / l1 - b2 / l2;
    const float la = norm(along), ld = norm(out);
    if (la * ld < 0.001f) continue;
    const Vec3 ah = along / la, dh = out / ld;
    const Vec3 cn = cross(dh, ah);
    const float lc = norm(cn);
    if (lc < 0.001f) continue;
    const Vec3 ch = cn / lc;
    const float cosg = ((l1 * l1 + l2 * l2 - norm2(c - a)) / 2.0f) / l1 / l2;
    const auto k = std::size_t(t);
    const bool wide = cosg <= kCosWide;
    const float oa = wide ? xcb2[k] : xcb1[k];
    const float oc = wide ? ycb2[k] : ycb1[k];
    const float od = wide ? zcb2[k] : zcb1[k];
    set_pos(s, cb, b + oa * ah + oc * ch + od * dh);
  }
}

void heavy_add(ModelState& s) { HeavyAdder(s).run(); }

}  // namespace vorb
