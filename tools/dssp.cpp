#include "dssp.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/residues.hpp"

namespace vorb::tools {
namespace {

constexpr float kCoupling = 0.084f * 332.0f;  // q1 q2 f, kcal/mol A
constexpr float kMinEnergy = -9.9f;
constexpr float kBondEnergy = -0.5f;
constexpr float kMinDistance = 0.5f;    // closer atoms give the floor energy
constexpr float kMaxCaDistance = 9.0f;  // no pair beyond this can reach -0.5
constexpr float kBendAngle = 70.0f;     // degrees

struct Backbone {
  bool ok = false;  // N, CA, C and O present
  Vec3 n, ca, c, o;
  bool has_h = false;
  Vec3 h;
};

struct Partner {
  int res = -1;
  float energy = 0.0f;
};

// Keeps the two lowest energies seen.
void keep_best(std::array<Partner, 2>& best, int res, float e) {
  if (best[0].res < 0 || e < best[0].energy) {
    best[1] = best[0];
    best[0] = {res, e};
  } else if (best[1].res < 0 || e < best[1].energy) {
    best[1] = {res, e};
  }
}

struct Ladder {
  bool parallel = false;
  int i0 = 0, i1 = 0;  // range on the first strand (ascending)
  int j0 = 0, j1 = 0;  // range on the second strand (ascending)
  int jlast = 0;       // j of the last bridge added
  int bridges = 0;
  bool linked = false;  // merged with another ladder across a bulge
};

class Assigner {
 public:
  explicit Assigner(const Chain& c) : c_(c), n_(int(c.res.size())) {}

  Assignment run() {
    Assignment a;
    a.ss.assign(std::size_t(n_), ' ');
    if (n_ == 0) return a;
    read_backbone();
    find_hbonds(a);
    for (int t = 3; t <= 5; ++t) find_turns(t);
    ss_ = &a.ss;
    assign_sheets();
    assign_helices();
    assign_turns_and_bends();
    return a;
  }

 private:
  void read_backbone() {
    bb_.resize(std::size_t(n_));
    for (int i = 0; i < n_; ++i) {
      const Residue& r = c_.res[std::size_t(i)];
      const Vec3 *n = r.find(" N  "), *ca = r.find(" CA "), *c = r.find(" C  "),
                 *o = r.find(" O  ");
      Backbone& b = bb_[std::size_t(i)];
      if (n && ca && c && o) {
        b.ok = true;
        b.n = *n;
        b.ca = *ca;
        b.c = *c;
        b.o = *o;
      }
    }
    link_.assign(std::size_t(n_), 0);
    for (int i = 0; i + 1 < n_; ++i)
      link_[std::size_t(i)] = bb_[std::size_t(i)].ok && bb_[std::size_t(i + 1)].ok &&
                              peptide_bonded(c_, std::size_t(i));
    for (int i = 0; i < n_; ++i) {
      Backbone& b = bb_[std::size_t(i)];
      b.has_h = amide_h(c_, std::size_t(i), b.h);
    }
  }

  void find_hbonds(Assignment& a) {
    best_.assign(std::size_t(n_), std::array<Partner, 2>{});
    for (int d = 0; d < n_; ++d) {
      const Backbone& don = bb_[std::size_t(d)];
      if (!don.has_h) continue;
      for (int k = 0; k < n_; ++k) {
        if (std::abs(d - k) < 2) continue;
        const Backbone& acc = bb_[std::size_t(k)];
        if (!acc.ok || dist(don.ca, acc.ca) >= kMaxCaDistance) continue;
        float e = hbond_energy(don.n, don.h, acc.c, acc.o);
        if (e < kBondEnergy) a.hbonds.push_back({d, k, e});
        keep_best(best_[std::size_t(d)], k, e);
      }
    }
  }

  // Whether the C=O of residue i bonds the N-H of residue j (one of j's two best acceptors).
  bool co_nh(int i, int j) const {
    if (i < 0 || j < 0 || i >= n_ || j >= n_) return false;
    for (const Partner& p : best_[std::size_t(j)])
      if (p.res == i && p.energy < kBondEnergy) return true;
    return false;
  }

  // Whether residues i..j (i <= j) are consecutive without a missing link.
  bool no_break(int i, int j) const {
    if (i < 0 || j >= n_) return false;
    for (int k = i; k < j; ++k)
      if (!link_[std::size_t(k)]) return false;
    return true;
  }

  void find_turns(int t) {
    auto& turn = turn_[std::size_t(t)];
    turn.assign(std::size_t(n_), 0);
    for (int i = 0; i + t < n_; ++i) turn[std::size_t(i)] = no_break(i, i + t) && co_nh(i, i + t);
  }

  bool turn(int t, int i) const {
    return i >= 0 && i < n_ && turn_[std::size_t(t)][std::size_t(i)];
  }

  void set(int i, char code) { (*ss_)[std::size_t(i)] = code; }
  char get(int i) const { return (*ss_)[std::size_t(i)]; }

  void assign_sheets() {
    // Bridges in order of i, then j; each extends a ladder whose last bridge is its neighbour.
    std::vector<Ladder> ladders;
    for (int i = 1; i + 1 < n_; ++i) {
      if (!no_break(i - 1, i + 1)) continue;
      for (int j = i + 3; j + 1 < n_; ++j) {
        if (!no_break(j - 1, j + 1)) continue;
        bool par = (co_nh(i - 1, j) && co_nh(j, i + 1)) || (co_nh(j - 1, i) && co_nh(i, j + 1));
        bool anti = (co_nh(i, j) && co_nh(j, i)) || (co_nh(i - 1, j + 1) && co_nh(j - 1, i + 1));
        if (!par && !anti) continue;
        bool parallel = par;  // both patterns at once cannot occur in real geometry
        bool added = false;
        for (Ladder& l : ladders) {
          if (l.parallel != parallel || l.i1 != i - 1) continue;
          if (l.jlast != (parallel ? j - 1 : j + 1)) continue;
          l.i1 = i;
          l.j0 = std::min(l.j0, j);
          l.j1 = std::max(l.j1, j);
          l.jlast = j;
          ++l.bridges;
          added = true;
          break;
        }
        if (!added) ladders.push_back({parallel, i, i, j, j, j, 1, false});
      }
    }
    std::sort(ladders.begin(), ladders.end(), [](const Ladder& x, const Ladder& y) {
      return x.i0 != y.i0 ? x.i0 < y.i0 : x.j0 < y.j0;
    });

    // Ladders of one type joined by a bulge: at most one extra residue on one strand and at
    // most four on the other.
    std::vector<char> gone(ladders.size(), 0);
    for (std::size_t x = 0; x < ladders.size(); ++x) {
      if (gone[x]) continue;
      Ladder& a = ladders[x];
      for (std::size_t y = x + 1; y < ladders.size(); ++y) {
        if (gone[y]) continue;
        const Ladder& b = ladders[y];
        if (b.parallel != a.parallel) continue;
        int gi = b.i0 - a.i1 - 1;
        int gj = a.parallel ? b.j0 - a.j1 - 1 : a.j0 - b.j1 - 1;
        if (gi < 0 || gj < 0) continue;
        if (!((gi <= 1 && gj <= 4) || (gi <= 4 && gj <= 1))) continue;
        if (!no_break(a.i1, b.i0)) continue;
        if (a.parallel ? !no_break(a.j1, b.j0) : !no_break(b.j1, a.j0)) continue;
        a.i1 = b.i1;
        a.j0 = std::min(a.j0, b.j0);
        a.j1 = std::max(a.j1, b.j1);
        a.bridges += b.bridges;
        a.linked = true;
        gone[y] = 1;
      }
    }
    for (std::size_t x = 0; x < ladders.size(); ++x) {
      if (gone[x]) continue;
      const Ladder& l = ladders[x];
      if (l.bridges == 1 && !l.linked) {
        for (int r : {l.i0, l.j0})
          if (get(r) != 'E') set(r, 'B');
        continue;
      }
      for (int r = l.i0; r <= l.i1; ++r) set(r, 'E');
      for (int r = l.j0; r <= l.j1; ++r) set(r, 'E');
    }
  }

  void assign_helices() {
    for (int i = 1; i + 4 <= n_; ++i)
      if (turn(4, i - 1) && turn(4, i))
        for (int r = i; r <= i + 3; ++r) set(r, 'H');
    auto minimal = [&](int t, char code) {
      for (int i = 1; i + t <= n_; ++i) {
        if (!turn(t, i - 1) || !turn(t, i)) continue;
        bool free = true;
        for (int r = i; r < i + t; ++r) free = free && (get(r) == ' ' || get(r) == code);
        if (free)
          for (int r = i; r < i + t; ++r) set(r, code);
      }
    };
    minimal(3, 'G');
    minimal(5, 'I');
  }

  void assign_turns_and_bends() {
    for (int t = 3; t <= 5; ++t)
      for (int i = 0; i + t < n_; ++i)
        if (turn(t, i))
          for (int r = i + 1; r < i + t; ++r)
            if (get(r) == ' ') set(r, 'T');
    for (int i = 2; i + 2 < n_; ++i) {
      if (get(i) != ' ' || !no_break(i - 2, i + 2)) continue;
      Vec3 u = bb_[std::size_t(i)].ca - bb_[std::size_t(i - 2)].ca;
      Vec3 v = bb_[std::size_t(i + 2)].ca - bb_[std::size_t(i)].ca;
      float lu = norm(u), lv = norm(v);
      if (lu * lv <= 0.0f) continue;
      float cosk = std::clamp(dot(u, v) / (lu * lv), -1.0f, 1.0f);
      if (std::acos(cosk) * 57.29578f > kBendAngle) set(i, 'S');
    }
  }

  const Chain& c_;
  int n_;
  std::vector<Backbone> bb_;
  std::vector<char> link_;
  std::vector<std::vector<char>> turn_ = std::vector<std::vector<char>>(6);
  std::vector<char>* ss_ = nullptr;
  std::vector<std::array<Partner, 2>> best_;
};

}  // namespace

float hbond_energy(Vec3 n, Vec3 h, Vec3 c, Vec3 o) {
  float r_on = dist(o, n), r_ch = dist(c, h), r_oh = dist(o, h), r_cn = dist(c, n);
  if (r_on < kMinDistance || r_ch < kMinDistance || r_oh < kMinDistance || r_cn < kMinDistance)
    return kMinEnergy;
  float e = kCoupling * (1.0f / r_on + 1.0f / r_ch - 1.0f / r_oh - 1.0f / r_cn);
  return std::max(e, kMinEnergy);
}

bool amide_h(const Chain& c, std::size_t i, Vec3& h) {
  if (i == 0 || i >= c.res.size() || c.res[i].type == kPro) return false;
  const Residue& r = c.res[i];
  const Residue& p = c.res[i - 1];
  const Vec3 *n = r.find(" N  "), *ca = r.find(" CA "), *cp = p.find(" C  ");
  if (!n || !ca || !r.has(" C  ") || !r.has(" O  ") || !cp || !p.has(" N  ") || !p.has(" CA ") ||
      !p.has(" O  "))
    return false;
  if (!peptide_bonded(c, i - 1)) return false;
  Vec3 v = *n - (*cp + *ca) * 0.5f;
  float d = norm(v);
  if (d < 0.001f) return false;
  h = *n + v / d;
  return true;
}

Assignment assign_secondary(const Chain& c) { return Assigner(c).run(); }

int three_state(char ss) { return ss == 'H' ? 2 : ss == 'E' ? 4 : 1; }

}  // namespace vorb::tools
