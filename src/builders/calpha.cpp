#include "builders/calpha.hpp"

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "geometry/random.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "model/coords.hpp"
#include "model/errors.hpp"

namespace vorb {
namespace {

constexpr float kBreak = 4.2f;       // consecutive C-alpha atoms farther apart are a break
constexpr float kStep = 3.8f;        // length of one walk step
constexpr float kNextLo = 4.2f;      // accepted distance to the residue two steps back
constexpr float kNextHi = 7.8f;
constexpr float kClash2 = 12.96f;    // 3.6 A squared: closest approach of other C-alpha atoms
constexpr float kSpan = 3.6f;        // span per residue when sizing a run
constexpr float kMeanLimit = 3.5f;   // mean step a middle run may need
constexpr float kReach = 3.67f;      // reach tolerance at the run start
constexpr float kReachGrow = 0.4f;   // growth of the reach tolerance over the run
constexpr int kTries = 1000;         // tries per residue before the run restarts
constexpr int kRestarts = 10000;     // restarts per run
constexpr int kInterTries = 990;     // late in a hopeless middle run, a long last step...
constexpr int kInterRestarts = 9000; // ...ends the walk on the straight line

struct Run {
  int b, e;
};

void say(const ffmt::ListWriter& w) { message_stream() << w.str() << '\n'; }

class CaBuilder {
 public:
  explicit CaBuilder(ModelState& s) : s_(s), n_(s.nres), p_(std::size_t(s.nres) + 2) {}

  void run() {
    if (n_ < 1) return;
    bool any = false;
    for (int r = 1; r <= n_; ++r) any = any || !(x(r) > kMissingTest);
    if (!any) reject("every C-alpha atom is missing; nothing to build from");

    remove_breaks();
    find_runs();
    for (const Run& r : runs_)
      if (r.b == 1 && r.e == n_)
        reject("residues 1 to " + std::to_string(n_) +
               " all need a new C-alpha atom; no C-alpha atom is left to build from");
    const std::vector<Run> found = runs_;
    widen();
    settle(found);
    for (std::size_t g = 0; g < runs_.size(); ++g) {
      if (consumed(g)) continue;
      build(int(g) + 1, runs_[g]);
    }
  }

 private:
  float x(int r) const { return s_.xx(s_.ica(r)); }
  Vec3 ca(int r) const { return pos(s_, s_.ica(r)); }
  Vec3& P(int r) { return p_[std::size_t(r)]; }

  [[noreturn]] void reject(const std::string& what) const { throw InputError(s_.pdbfile, 0, what); }

  // A C-alpha farther than the break distance from a present neighbour is dropped; in the
  // middle of the chain both C-alpha atoms of the pair go. Only x is marked missing.
  void remove_breaks() {
    for (int i = 1; i <= n_; ++i) {
      if (!(x(i) < kMissing)) continue;
      if (i == 1 || i == n_) {
        const int nb = i == 1 ? 2 : n_ - 1;
        if (nb >= 1 && nb <= n_ && nb != i && x(nb) < kMissing && dist(ca(i), ca(nb)) > kBreak)
          s_.xx(s_.ica(i)) = kMissing;
        continue;
      }
      if (x(i - 1) < kMissing && dist(ca(i), ca(i - 1)) > kBreak) {
        s_.xx(s_.ica(i)) = kMissing;
        s_.xx(s_.ica(i - 1)) = kMissing;
      }
      // Uses the current x of residue i: when it was just removed, i + 1 goes too.
      if (x(i + 1) < kMissing && dist(ca(i), ca(i + 1)) > kBreak) {
        s_.xx(s_.ica(i)) = kMissing;
        s_.xx(s_.ica(i + 1)) = kMissing;
      }
    }
  }

  // One record per missing residue, folded into the previous run as it is found when it
  // starts at most two residues after that run's end.
  void find_runs() {
    for (int i = 1; i <= n_; ++i) {
      if (!(x(i) > kMissingTest)) continue;
      int j = i + 1;
      while (j < n_ && x(j) > kMissingTest) ++j;
      const Run r{i, j - 1};
      if (!runs_.empty() && r.b - runs_.back().e <= 2)
        runs_.back().e = r.e;
      else
        runs_.push_back(r);
    }
    used_.assign(runs_.size(), false);
  }

  // A middle run whose flanks are farther apart than its residues can span grows.
  void widen() {
    for (std::size_t g = 0; g < runs_.size(); ++g) {
      int& b = runs_[g].b;
      int& e = runs_[g].e;
      if (!(b > 1 && e < n_)) continue;
      if (x(b - 1) > kMissingTest && x(e + 1) < kMissingTest) {
        say(ffmt::ListWriter() << "boundary err" << int(g) + 1 << b << e);
        continue;
      }
      const float d = dist(ca(e + 1), ca(b - 1));
      const int k = static_cast<int>((d - kSpan * static_cast<float>(e - b + 2)) / kSpan);
      if (k <= 0) continue;
      if (k == 1) {
        if (s_.sscode(b) < 2)
          b = b - 1;
        else if (e < n_)
          e = e + 1;
        continue;
      }
      const int h = k / 2;
      if (h < b && e <= n_ - h) {
        b = b - h;
        e = e + h;
      } else if (b <= h) {
        b = 1;
      } else if (e > n_ - h) {
        e = n_;
      }
    }
  }

  bool consumed(std::size_t g) const { return used_[g]; }

  // Fixes the extent of every run before any is built. A widened run can end next to a residue
  // of a later run that is not built yet: its missing C-alpha would be the target of a middle
  // run, or the anchor of a run opened to the chain start. Such later runs are taken into this
  // one. Runs are built in order, each making its residues present, which `missing` follows.
  // A run that then spans the whole chain has no C-alpha atom to start from and is rejected
  // before anything is built. `found` holds the runs as they were before widening.
  void settle(const std::vector<Run>& found) {
    std::vector<bool> missing(std::size_t(n_) + 2, false);
    for (int r = 1; r <= n_; ++r) missing[std::size_t(r)] = x(r) > kMissingTest;
    for (std::size_t g = 0; g < runs_.size(); ++g) {
      if (used_[g]) continue;
      Run& run = runs_[g];
      while (run.e < n_ && missing[std::size_t(run.e) + 1]) {
        const int next = run.e + 1;
        bool taken = false;
        for (std::size_t h = g + 1; h < runs_.size() && !taken; ++h) {
          if (used_[h] || runs_[h].b > next || runs_[h].e < next) continue;
          run.e = runs_[h].e;
          used_[h] = true;
          taken = true;
        }
        if (!taken) break;
      }
      if (run.b == 1 && run.e == n_)
        reject("residues " + std::to_string(found[g].b) + " to " + std::to_string(found[g].e) +
               " lack a C-alpha atom and their neighbours are too far apart: widened, the gap "
               "spans residues 1 to " +
               std::to_string(n_) +
               ", the whole chain, and no C-alpha atom is left to build from");
      for (int t = run.b; t <= run.e; ++t) missing[std::size_t(t)] = false;
    }
  }

  Vec3 random_step(Vec3 q) {
    for (;;) {
      const float ux = 2.0f * rand(s_) - 1.0f;
      const float uy = 2.0f * rand(s_) - 1.0f;
      const float uz = 2.0f * rand(s_) - 1.0f;
      const float len = std::sqrt(ux * ux + uy * uy + uz * uz);
      if (len > 0.001f) return {q.x + kStep * ux / len, q.y + kStep * uy / len, q.z + kStep * uz / len};
    }
  }

  static bool next_ok(Vec3 a, Vec3 p) {
    const float d = dist(a, p);
    return d >= kNextLo && d <= kNextHi;
  }
  static bool clear(Vec3 a, Vec3 p) { return norm2(a - p) >= kClash2; }

  // Tests of residue s in a run grown backwards from e + 1 to the chain start.
  bool accept_backward(int s, int e) {
    const Vec3 q = P(s);
    if (s < e - 1) {
      if (!next_ok(P(s + 2), q)) return false;
    } else if (s + 2 <= n_ && x(s + 2) < kMissing) {
      if (!next_ok(ca(s + 2), q)) return false;
    }
    for (int t = e; t >= s + 2; --t)
      if (!clear(P(t), q)) return false;
    for (int t = e + 1; t <= n_; ++t)
      if (x(t) < kMissingTest && std::abs(t - s) >= 2 && !clear(ca(t), q)) return false;
    return true;
  }

  // Spacing tests of residue s in a run grown forwards from b - 1.
  bool spacing_forward(int s, int b) {
    const Vec3 q = P(s);
    if (s > b + 1) {
      if (!next_ok(P(s - 2), q)) return false;
    } else if (s - 2 >= 1 && x(s - 2) < kMissing) {
      if (!next_ok(ca(s - 2), q)) return false;
    }
    for (int t = b; t <= s - 2; ++t)
      if (!clear(P(t), q)) return false;
    return true;
  }

  void build_start(int g, int e) {
    P(e + 1) = ca(e + 1);
    for (int restart = 1;; ++restart) {
      if (restart > kRestarts) {
        say(ffmt::ListWriter() << "not build region" << g << 1 << e);
        throw StopRun{"failed build region EXIST!!!!"};
      }
      bool ok = true;
      for (int s = e; s >= 1 && ok; --s) {
        ok = false;
        for (int t = 0; t < kTries && !ok; ++t) {
          P(s) = random_step(P(s + 1));
          ok = accept_backward(s, e);
        }
      }
      if (ok) return;
    }
  }

  void build_end(int g, int b) {
    P(b - 1) = ca(b - 1);
    for (int restart = 1;; ++restart) {
      if (restart > kRestarts) {
        say(ffmt::ListWriter() << "not build region" << g << b << n_);
        throw StopRun{"failed build region EXIST2!!!!"};
      }
      bool ok = true;
      for (int s = b; s <= n_ && ok; ++s) {
        ok = false;
        for (int t = 0; t < kTries && !ok; ++t) {
          P(s) = random_step(P(s - 1));
          if (!spacing_forward(s, b)) continue;
          ok = true;
          for (int u = 1; u <= b - 1 && ok; ++u)
            if (x(u) < kMissingTest && std::abs(u - s) >= 2 && !clear(ca(u), P(s))) ok = false;
        }
      }
      if (ok) return;
    }
  }

  // Residues m..e evenly spaced on the line from P(m - 1) to target.
  void straight_line(int m, int e, Vec3 target) {
    const float n = static_cast<float>(e - m + 2);
    const Vec3 a = P(m - 1);
    const Vec3 step{(target.x - a.x) / n, (target.y - a.y) / n, (target.z - a.z) / n};
    for (int t = m; t <= e; ++t) P(t) = P(t - 1) + step;
  }

  void build_middle(int g, int b, int e) {
    P(b - 1) = ca(b - 1);
    const Vec3 target = ca(e + 1);
    const float mean = dist(target, P(b - 1)) / static_cast<float>(e - b + 2);
    const float w = kReachGrow / static_cast<float>(e - b + 1);
    int m = b;
    if (mean > kMeanLimit) {
      straight_line(m, e, target);
      return;
    }
    float r = 0.0f;
    for (int restart = 1;; ++restart) {
      bool ok = true;
      for (int s = b; s <= e && ok; ++s) {
        ok = false;
        int tries = 0;
        while (tries < kTries && !ok) {
          ++tries;
          P(s) = random_step(P(s - 1));
          if (!spacing_forward(s, b)) continue;
          r = dist(target, P(s)) / static_cast<float>(e - s + 1);
          if (!(r <= kReach + w * static_cast<float>(s - b))) continue;
          ok = true;
          for (int t = 1; t <= n_ && ok; ++t)
            if (x(t) < kMissing && std::abs(t - s) >= 2 && !clear(ca(t), P(s))) ok = false;
        }
        if (ok && r > kMeanLimit && tries > kInterTries && restart > kInterRestarts) {
          say(ffmt::ListWriter() << "inter" << restart << g << s << r << kMeanLimit);
          m = s;
          straight_line(m, e, target);
          return;
        }
      }
      if (ok) return;
      if (restart + 1 > kRestarts) {
        say(ffmt::ListWriter() << "bad build region" << g << b << e << r << kMeanLimit);
        straight_line(m, e, target);
        return;
      }
    }
  }

  void build(int g, const Run& run) {
    const int b = run.b, e = run.e;
    if (b == 1)
      build_start(g, e);
    else if (e == n_)
      build_end(g, b);
    else
      build_middle(g, b, e);
    for (int t = b; t <= e; ++t) set_pos(s_, s_.ica(t), P(t));
    say(ffmt::ListWriter() << "CA build from" << b << "to" << e << g);
  }

  ModelState& s_;
  const int n_;
  std::vector<Vec3> p_;      // trial trace by residue, 0..nres+1
  std::vector<Run> runs_;
  std::vector<bool> used_;   // runs taken into an earlier one
};

}  // namespace

void ca_build(ModelState& s) { CaBuilder(s).run(); }

}  // namespace vorb
