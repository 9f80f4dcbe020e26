#include "regularize/regularize.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace vorb::regularize {
namespace {

double dist(const Point& a, const Point& b) {
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

struct Constraint {
  int i, j;
  double length;
  bool equal;  // a bond (both ways); otherwise a lower bound
};

// Moves i and j symmetrically along their line to `length` apart. Coincident atoms are
// separated along x, so the result does not depend on anything but the input.
double project(std::vector<TraceResidue>& c, const Constraint& k) {
  Point& a = c[std::size_t(k.i)].ca;
  Point& b = c[std::size_t(k.j)].ca;
  double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  const double off = len - k.length;
  if (!k.equal && off >= 0) return 0;
  if (len < 1e-9) {
    d[0] = 1, d[1] = 0, d[2] = 0;
    len = 1;
  }
  const double f = 0.5 * off / len;
  for (int a3 = 0; a3 < 3; ++a3) {
    a[std::size_t(a3)] += f * d[a3];
    b[std::size_t(a3)] -= f * d[a3];
  }
  return std::fabs(off);
}

bool bonded(const std::vector<Link>& link, std::size_t i, std::size_t j) {
  return j == i + 1 && link[i] != Link::none;
}

}  // namespace

std::vector<Link> links(const std::vector<TraceResidue>& chain, const Settings& set) {
  std::vector<Link> out(chain.size(), Link::none);
  for (std::size_t k = 0; k + 1 < chain.size(); ++k) {
    const TraceResidue &a = chain[k], &b = chain[k + 1];
    if (!a.present || !b.present || b.number != a.number + 1) continue;
    const double d = dist(a.ca, b.ca);
    if (d > set.break_above) continue;
    out[k] = b.proline && d < set.cis_below ? Link::kept : Link::bond;
  }
  return out;
}

Counts count(const std::vector<TraceResidue>& chain, const std::vector<Link>& link,
             const Settings& set) {
  Counts n;
  for (std::size_t i = 0; i < chain.size(); ++i) {
    if (!chain[i].present) continue;
    for (std::size_t j = i + 1; j < chain.size(); ++j) {
      if (!chain[j].present) continue;
      const double d = dist(chain[i].ca, chain[j].ca);
      if (bonded(link, i, j)) {
        if (link[i] == Link::bond && std::fabs(d - set.step) > 0.2) ++n.steps_off;
      } else if (d < set.separation - set.tolerance) {
        ++n.close_pairs;
      }
    }
  }
  return n;
}

bool needs_regularizing(const std::vector<TraceResidue>& chain, const Settings& set) {
  const std::vector<Link> link = links(chain, set);
  int bonds = 0, off = 0;
  for (std::size_t i = 0; i < chain.size(); ++i) {
    if (!chain[i].present) continue;
    bonds += link[i] != Link::none;
    for (std::size_t j = i + 1; j < chain.size(); ++j) {
      if (!chain[j].present) continue;
      const double d = dist(chain[i].ca, chain[j].ca);
      if (bonded(link, i, j)) {
        if (link[i] == Link::bond && (d < set.auto_lo || d > set.auto_hi)) ++off;
      } else if (d < set.auto_near) {
        ++off;
      }
    }
  }
  return off > 0 && double(off) >= set.auto_share * double(bonds);
}

Report regularize(std::vector<TraceResidue>& chain, const Settings& set) {
  Report rep;
  const std::vector<Link> link = links(chain, set);
  rep.before = count(chain, link, set);
  const std::vector<TraceResidue> start = chain;

  std::vector<Constraint> bonds;
  for (std::size_t k = 0; k + 1 < chain.size(); ++k)
    if (link[k] != Link::none)
      bonds.push_back({int(k), int(k + 1),
                       link[k] == Link::bond ? set.step : dist(chain[k].ca, chain[k + 1].ca), true});

  // Pairs that may come closer than the separation: those within a margin of it at the start,
  // then any found too close after the sweeps.
  const double margin = 2.5;
  std::vector<Constraint> pairs;
  std::vector<std::pair<int, int>> listed;
  auto add_close = [&](double within) {
    int added = 0;
    for (std::size_t i = 0; i < chain.size(); ++i) {
      if (!chain[i].present) continue;
      for (std::size_t j = i + 1; j < chain.size(); ++j) {
        if (!chain[j].present || bonded(link, i, j)) continue;
        if (dist(chain[i].ca, chain[j].ca) >= within) continue;
        const std::pair<int, int> key{int(i), int(j)};
        if (std::binary_search(listed.begin(), listed.end(), key)) continue;
        pairs.push_back({int(i), int(j), set.separation, false});
        ++added;
      }
    }
    listed.clear();
    for (const Constraint& k : pairs) listed.emplace_back(k.i, k.j);
    std::sort(listed.begin(), listed.end());
    return added;
  };
  add_close(set.separation + margin);

  for (int round = 0; round < 4; ++round) {
    while (rep.sweeps < set.max_sweeps) {
      ++rep.sweeps;
      double worst = 0;
      for (const Constraint& k : bonds) worst = std::max(worst, project(chain, k));
      for (const Constraint& k : pairs) worst = std::max(worst, project(chain, k));
      if (worst <= set.tolerance) {
        rep.converged = true;
        break;
      }
    }
    // Pairs not listed that the moves brought too close: list them and go on.
    if (add_close(set.separation - set.tolerance) == 0) break;
    rep.converged = false;
  }
  if (!rep.converged) {
    // The last sweep may have passed over violations; measure them as they stand.
    double worst = 0;
    for (const Constraint& k : bonds)
      worst = std::max(worst, std::fabs(dist(chain[std::size_t(k.i)].ca, chain[std::size_t(k.j)].ca) - k.length));
    rep.converged = worst <= set.tolerance && count(chain, link, set).close_pairs == 0;
  }

  rep.after = count(chain, link, set);
  double sum = 0;
  int n = 0;
  for (std::size_t k = 0; k < chain.size(); ++k) {
    if (!chain[k].present) continue;
    const double d = dist(chain[k].ca, start[k].ca);
    rep.max_move = std::max(rep.max_move, d);
    sum += d * d;
    ++n;
  }
  rep.rms_move = n ? std::sqrt(sum / n) : 0;
  return rep;
}

std::string Report::text() const {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "steps off 3.8 A by more than 0.2 A: %d -> %d; other pairs closer than 4.0 A: "
                "%d -> %d; C-alpha moves: rms %.3f A, largest %.3f A; %d sweeps%s",
                before.steps_off, after.steps_off, before.close_pairs, after.close_pairs, rms_move,
                max_move, sweeps, converged ? "" : " (not converged)");
  return buf;
}

}  // namespace vorb::regularize
