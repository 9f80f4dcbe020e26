#include "regularize/regularize.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace vorb::regularize {
namespace {

double dist(const Point& a, const Point& b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

// A helix-like trace (3.8 A steps, 1.5 A rise) of n residues numbered from 1, with seeded
// Gaussian noise on every coordinate.
std::vector<TraceResidue> helix(int n, double noise, unsigned seed = 7) {
  // Box-Muller on the raw engine: the same numbers with every standard library.
  std::mt19937 rng(seed);
  auto uniform = [&] { return (double(rng()) + 0.5) / 4294967296.0; };
  auto g = [&](std::mt19937&) {
    return noise * std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
  };
  std::vector<TraceResidue> c;
  for (int k = 0; k < n; ++k) {
    const double t = 1.745 * k;  // 100 degrees per residue
    TraceResidue r;
    r.ca = {2.3 * std::cos(t), 2.3 * std::sin(t), 1.5 * k};
    if (noise > 0)
      for (double& v : r.ca) v += g(rng);
    r.number = k + 1;
    c.push_back(r);
  }
  return c;
}

void expect_regular(const std::vector<TraceResidue>& c, const std::vector<Link>& link) {
  for (std::size_t i = 0; i < c.size(); ++i)
    for (std::size_t j = i + 1; j < c.size(); ++j) {
      if (!c[i].present || !c[j].present) continue;
      const double d = dist(c[i].ca, c[j].ca);
      if (j == i + 1 && link[i] == Link::bond) {
        EXPECT_NEAR(d, 3.8, 0.002) << i;
      } else if (!(j == i + 1 && link[i] == Link::kept)) {
        EXPECT_GE(d, 3.998) << i << " " << j;
      }
    }
}

TEST(Regularize, NoisyTraceGetsRegularStepsAndSpacingDeterministically) {
  std::vector<TraceResidue> c = helix(120, 0.5);
  const std::vector<TraceResidue> in = c;
  ASSERT_TRUE(needs_regularizing(c));
  const Report rep = regularize(c);
  EXPECT_TRUE(rep.converged) << rep.text();
  EXPECT_GT(rep.before.steps_off + rep.before.close_pairs, 20);
  EXPECT_EQ(rep.after.steps_off, 0);
  EXPECT_EQ(rep.after.close_pairs, 0);
  expect_regular(c, links(c));
  EXPECT_LT(rep.rms_move, 0.6);
  EXPECT_FALSE(needs_regularizing(c));

  std::vector<TraceResidue> again = in;
  regularize(again);
  for (std::size_t k = 0; k < c.size(); ++k) EXPECT_EQ(again[k].ca, c[k].ca) << k;
}

TEST(Regularize, GapsBreaksAndCisProlineAreLeftAlone) {
  std::vector<TraceResidue> c = helix(30, 0.0);
  // Residues 10 and 11 absent (a true gap: no bond from 9 to 12); 21 renumbered 25 (a gap in
  // the numbering); residue 6 a proline after a 2.9 A step; residue 16 after a short step too
  // but no proline.
  c[9].present = c[10].present = false;
  for (std::size_t k = 20; k < c.size(); ++k) c[k].number += 4;
  auto pull = [&](std::size_t k, double to) {
    const Point a = c[k - 1].ca, b = c[k].ca;
    const double d = dist(a, b);
    for (int x = 0; x < 3; ++x) {
      const double shift = (b[std::size_t(x)] - a[std::size_t(x)]) * (to / d - 1.0);
      for (std::size_t m = k; m < c.size(); ++m) c[m].ca[std::size_t(x)] += shift;
    }
  };
  c[5].proline = true;
  pull(5, 2.9);
  pull(15, 3.0);
  const Point absent = c[9].ca;
  const std::vector<Link> link = links(c);
  EXPECT_EQ(link[4], Link::kept);
  EXPECT_EQ(link[14], Link::bond);
  EXPECT_EQ(link[8], Link::none);
  EXPECT_EQ(link[10], Link::none);
  EXPECT_EQ(link[19], Link::none);
  const double across = dist(c[8].ca, c[11].ca);

  const Report rep = regularize(c);
  EXPECT_TRUE(rep.converged);
  expect_regular(c, link);
  EXPECT_NEAR(dist(c[4].ca, c[5].ca), 2.9, 0.002);
  EXPECT_NEAR(dist(c[14].ca, c[15].ca), 3.8, 0.002);
  EXPECT_EQ(c[9].ca, absent);
  EXPECT_NEAR(dist(c[8].ca, c[11].ca), across, 0.5);  // not pulled to one step

  // A step beyond the break length is no bond either.
  std::vector<TraceResidue> b = helix(10, 0.0);
  for (std::size_t k = 5; k < b.size(); ++k) b[k].ca[2] += 8.0;
  EXPECT_EQ(links(b)[4], Link::none);
}

TEST(Regularize, AutomaticCriterion) {
  std::vector<TraceResidue> c = helix(40, 0.0);
  EXPECT_FALSE(needs_regularizing(c));
  // Steps of about 4.1 A: three of 39 bonds are below a tenth of them, four are not.
  std::vector<TraceResidue> far = c;
  for (std::size_t at : {8, 16, 24})
    for (std::size_t k = at; k < far.size(); ++k) far[k].ca[2] += 0.5;
  EXPECT_FALSE(needs_regularizing(far));
  for (std::size_t k = 32; k < far.size(); ++k) far[k].ca[2] += 0.5;
  EXPECT_TRUE(needs_regularizing(far));
  // Two antiparallel strands of 3.8 A steps joined by a step of width w: only the pairs across
  // the strands decide.
  auto hairpin = [](double w) {
    std::vector<TraceResidue> h;
    for (int k = 0; k < 10; ++k) {
      TraceResidue r;
      r.ca = {k < 5 ? 3.8 * k : 3.8 * (9 - k), k < 5 ? 0.0 : w, 0.0};
      r.number = k + 1;
      h.push_back(r);
    }
    return h;
  };
  EXPECT_FALSE(needs_regularizing(hairpin(3.9)));
  EXPECT_TRUE(needs_regularizing(hairpin(3.7)));
}

}  // namespace
}  // namespace vorb::regularize
