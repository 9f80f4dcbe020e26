#include "builders/sd_opt.hpp"

#include <algorithm>
#include <cmath>

#include "builders/sidechain.hpp"
#include "model/coords.hpp"
#include "model/residues.hpp"

namespace vorb {
namespace {

constexpr float kStepCap = 0.5f;      // longest capped correction
constexpr float kClear = 2.4f;        // side-chain to own-backbone distance
constexpr float kClearPro = 2.24f;    // the same for proline, whose ring closes on N
constexpr float kOpen = 2.4f;         // smallest 1-3 distance in long chains
constexpr float kStretch = 1.2f;      // a bond longer than this times its length is stretched
constexpr float kDeg = 0.0174533f;    // degrees to radians
constexpr int kAngleBlock = 45;       // angle records per residue
constexpr int kMaxTidy = 20;          // bond/angle corrections per atom

// Gamma-atom distance bands from C (d1) and N (d2) of its own residue, and the four class
// targets: class 1 (d2 short, d1 short), 2 (d2 long, d1 short), 3 (short, long), 4 (long, long).
constexpr float kC1Lo = 2.76f, kC1Hi = 3.28f, kC2Lo = 3.58f, kC2Hi = 3.97f;
constexpr float kN1Lo = 2.78f, kN1Hi = 3.28f, kN2Lo = 3.62f, kN2Hi = 3.9f;
constexpr float kCShort = 2.96f, kCLong = 3.83f, kNShort = 3.02f, kNLong = 3.81f;
constexpr float kTiny = 0.1f;         // distances this short count as inside every band

bool in(float d, float lo, float hi) { return d >= lo && d <= hi; }

class Tidy {
 public:
  explicit Tidy(ModelState& s) : s_(s) {}

  void residue(int r) {
    const int t = s_.ityp(r);
    if (t <= kGly || t > kTrp) return;
    ca_ = s_.ica(r);
    last_ = ca_ + hra[std::size_t(t)] - 2;
    const int g = ca_ + 4;
    // Rings move as a whole with their CG.
    const int jlast = t >= kHis ? std::min(g, last_) : last_;
    const bool pro = t == kPro;

    clearance(g, jlast, pro ? kClearPro : kClear);
    if (t == kMet || (t >= kLys && t <= kArg)) open_chain(t);
    stretched(g, jlast);
    if (!pro && g <= last_) gamma_class(g);
    if (!pro) bonds_and_angles(r, g, jlast);
  }

 private:
  ModelState& s_;
  int ca_ = 0, last_ = 0;

  bool usable(int j) const { return j >= 1 && j <= s_.natom && !(s_.xx(j) > kMissingTest); }
  Vec3 at(int j) const { return pos(s_, j); }

  // Adds t to every placed atom from j to the residue's last heavy atom.
  void move(int j, Vec3 t, bool capped) {
    if (capped) {
      const float len = norm(t);
      if (len > kStepCap) t = t * (kStepCap / len);
    }
    for (int k = j; k <= last_; ++k) {
      if (!usable(k)) continue;
      set_pos(s_, k, at(k) + t);
    }
  }

  bool bonded(int a, int b) const {
    for (int k = 1; k <= std::clamp(s_.bonda(a, 5), 0, 4); ++k)
      if (s_.bonda(a, k) == b) return true;
    return false;
  }

  // Pushes each side-chain atom closer than 2.4 A to N, CA, C or O out to the target distance.
  // An atom bonded to the backbone atom (the CD of proline, on N) is left where it is.
  void clearance(int g, int jlast, float target) {
    const int backbone[4] = {ca_ - 1, ca_, ca_ + 1, ca_ + 2};
    for (int q : backbone) {
      if (!usable(q)) continue;
      for (int j = g; j <= jlast; ++j) {
        if (!usable(j) || bonded(j, q)) continue;
        const Vec3 jp = at(j), qp = at(q);
        const float d = dist(jp, qp);
        if (!(d < kClear)) continue;
        const float dd = std::max(d, 1.0f);
        move(j, (jp - qp) * target / dd + qp - jp, true);
      }
    }
  }

  // Opens 1-3 pairs closer than 2.4 A along MET, LYS, GLU, GLN and ARG, skipping the pairs of
  // the terminal groups (GLU/GLN OE1 and ARG NH1 sit between two bonded atoms).
  void open_chain(int t) {
    for (int j = ca_ + 3; j <= last_ - 1; ++j) {
      if ((t == kGlu || t == kGln) && j == ca_ + 6) continue;
      if (t == kArg && j == ca_ + 8) continue;
      if (!usable(j - 1) || !usable(j + 1)) continue;
      const Vec3 a = at(j - 1), b = at(j + 1);
      const float d = dist(b, a);
      if (!(d < kOpen)) continue;
      const float dd = std::max(d, 1.0f);
      move(j + 1, (b - a) * kOpen / dd + a - b, true);
    }
  }

  // Pulls an atom back to its topology bond length from its first partner when the bond is
  // more than 1.2 times too long, outermost atom first.
  void stretched(int g, int jlast) {
    for (int j = jlast; j >= g; --j) {
      const int p = s_.bonda(j, 1);
      if (!usable(j) || !usable(p)) continue;
      const float b0 = s_.bond(j, 2);
      const Vec3 jp = at(j), pp = at(p);
      const float d = dist(jp, pp);
      if (!(d > kStretch * b0)) continue;
      move(j, b0 * (jp - pp) / d + pp - jp, true);
    }
  }

  // Moves the gamma atom into the nearest of four classes of distance from C and from N.
  void gamma_class(int g) {
    const int n = ca_ - 1, c = ca_ + 1;
    if (!usable(g) || !usable(n) || !usable(c)) return;
    const Vec3 gv = at(g) - at(c), h = at(g) - at(n);
    const float d1 = norm(gv), d2 = norm(h);
    const bool ok1 = in(d1, kC1Lo, kC1Hi) || in(d1, kC2Lo, kC2Hi) || d1 <= kTiny;
    const bool ok2 = in(d2, kN1Lo, kN1Hi) || in(d2, kN2Lo, kN2Hi) || d2 <= kTiny;
    if (ok1 && ok2) return;
    const float f[4] = {std::fabs(d2 - kNShort) + std::fabs(d1 - kCShort),
                        std::fabs(d2 - kNLong) + std::fabs(d1 - kCShort),
                        std::fabs(d2 - kNShort) + std::fabs(d1 - kCLong),
                        std::fabs(d2 - kNLong) + std::fabs(d1 - kCLong)};
    int cls = 0;
    for (int k = 1; k < 4; ++k)
      if (f[k] < f[cls]) cls = k;
    // A distance of 0.1 A or less has no direction to move along; it counts as in band.
    Vec3 t;
    if (d1 > kTiny) {
      if (cls <= 1) {
        if (d1 < kC1Lo || d1 > kC1Hi) t = t + (kCShort - d1) * gv / d1;
      } else if (d1 < kC2Lo || d1 > kC2Hi) {
        t = t + (kCLong - d1) * gv / d1;
      }
    }
    if (d2 > kTiny) {
      if (cls == 0 || cls == 2) {
        if (d2 < kN1Lo || d2 > kN1Hi) t = t + (kNShort - d2) * h / d2;
      } else if (d2 < kN2Lo || d2 > kN2Hi) {
        t = t + (kNLong - d2) * h / d2;
      }
    }
    if (norm(t) > 0.01f) move(g, t, true);
  }

  // Equilibrium angle q-p-j in radians from residue r's block of angle records; false when
  // the block has no record for the triple.
  bool angle_of(int r, int q, int p, int j, float& theta) const {
    const int first = (r - 1) * kAngleBlock + 1;
    const int end = std::min(r * kAngleBlock, s_.nang);
    for (int m = first; m <= end; ++m) {
      if (s_.anga(m, 1) <= 0) continue;
      const bool fwd = s_.anga(m, 1) == q && s_.anga(m, 2) == p && s_.anga(m, 3) == j;
      const bool rev = s_.anga(m, 1) == j && s_.anga(m, 3) == q;
      if (fwd || rev) {
        theta = s_.ang(m, 2) * kDeg;
        return true;
      }
    }
    return false;
  }

  // Corrects each atom's bond to its first heavy partner p and its 1-3 distance to p's first
  // lower-numbered heavy partner q, up to 20 times. Without an angle record for q-p-j only the
  // bond is corrected.
  void bonds_and_angles(int r, int g, int jlast) {
    for (int j = g; j <= jlast; ++j) {
      int p = 0;
      float b0 = 0.0f;
      for (int k = 1; k <= std::clamp(s_.bonda(j, 5), 0, 4); ++k) {
        const int a = s_.bonda(j, k);
        if (a >= 1 && a <= s_.natom && s_.aty(a) != 'H') {
          p = a;
          b0 = s_.bond(j, 2 * k);
          break;
        }
      }
      if (!usable(j) || !usable(p)) continue;
      int q = 0;
      float bq = 0.0f;
      for (int k = 1; k <= std::clamp(s_.bonda(p, 5), 0, 4); ++k) {
        const int a = s_.bonda(p, k);
        if (a >= 1 && a < j && s_.aty(a) != 'H') {
          q = a;
          bq = s_.bond(p, 2 * k);
          break;
        }
      }
      float theta = 0.0f;
      const bool angle = usable(q) && angle_of(r, q, p, j, theta);
      const float cs = std::cos(theta);
      for (int it = 0; it < kMaxTidy; ++it) {
        const Vec3 jp = at(j), pp = at(p);
        const float d1 = dist(jp, pp);
        Vec3 t;
        if (d1 > 0.0f && std::fabs(d1 - b0) > 0.1f * b0) t = t + ((b0 - d1) / d1) * (jp - pp);
        if (angle) {
          const Vec3 qp = at(q);
          const float d2 = dist(jp, qp);
          const float t13 = std::sqrt(std::max(d1 * d1 + bq * bq - 2.0f * d1 * bq * cs, 0.0f));
          if (d2 > 0.0f && std::fabs(d2 - t13) > 0.1f * t13)
            t = t + ((t13 - d2) / d2) * (jp - qp);
        }
        if (!(norm(t) > 0.01f)) break;
        move(j, t, false);
      }
    }
  }
};

}  // namespace

void sd_opt(ModelState& s) {
  for (int i = 1; i <= s.natom; ++i) {
    const Name4& n = s.atomty(i);
    if (!(n == " C  " || n == " N  " || n == " CA " || n == " O  ")) s.xx(i) = kMissing;
  }
  cb_add(s);
  heavy_add(s);
  sd_opt1(s);
}

void sd_opt1(ModelState& s) {
  Tidy tidy(s);
  for (int r = 1; r <= s.nres; ++r) tidy.residue(r);
}

}  // namespace vorb
