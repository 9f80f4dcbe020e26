#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/superpose.hpp"
#include "model/coords.hpp"

namespace vorb {
namespace {

// Non-planar test set, one point per column.
const std::vector<double> kPts = {0, 0, 0, 1.5, 0, 0, 2, 1.4, 0, 1, 2, 1.1, -0.5, 1, 2.3};
constexpr int kN = 5;

struct Fit {
  double rms = -1, u[9], t[3];
  int ier = 99;
};

Fit fit(const std::vector<double>& w, const std::vector<double>& x, const std::vector<double>& y,
        int n, int mode = 1) {
  Fit f;
  for (double& v : f.u) v = 7;
  for (double& v : f.t) v = 7;
  u3b(w.data(), x.data(), y.data(), n, mode, f.rms, f.u, f.t, f.ier);
  return f;
}

double U(const Fit& f, int i, int j) { return f.u[(i - 1) + 3 * (j - 1)]; }

void expect_identity(const Fit& f, double tol) {
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(U(f, i, j), i == j ? 1.0 : 0.0, tol) << i << j;
}

double det(const Fit& f) {
  return U(f, 1, 1) * (U(f, 2, 2) * U(f, 3, 3) - U(f, 2, 3) * U(f, 3, 2)) -
         U(f, 1, 2) * (U(f, 2, 1) * U(f, 3, 3) - U(f, 2, 3) * U(f, 3, 1)) +
         U(f, 1, 3) * (U(f, 2, 1) * U(f, 3, 2) - U(f, 2, 2) * U(f, 3, 1));
}

const std::vector<double> kOnes(kN, 1.0);

TEST(U3b, IdenticalSetsGiveIdentity) {
  const Fit f = fit(kOnes, kPts, kPts, kN);
  EXPECT_EQ(f.ier, 0);
  expect_identity(f, 1e-6);
  for (double v : f.t) EXPECT_NEAR(v, 0.0, 1e-6);
  EXPECT_NEAR(f.rms, 0.0, 1e-9);
}

TEST(U3b, RecoversQuarterTurnAndShift) {
  std::vector<double> y(kPts.size());
  for (int m = 0; m < kN; ++m) {
    y[3 * m] = -kPts[3 * m + 1] + 1;
    y[3 * m + 1] = kPts[3 * m] + 2;
    y[3 * m + 2] = kPts[3 * m + 2] + 3;
  }
  const Fit f = fit(kOnes, kPts, y, kN);
  EXPECT_EQ(f.ier, 0);
  const double R[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(U(f, i, j), R[i - 1][j - 1], 1e-6);
  EXPECT_NEAR(f.t[0], 1.0, 1e-6);
  EXPECT_NEAR(f.t[1], 2.0, 1e-6);
  EXPECT_NEAR(f.t[2], 3.0, 1e-6);
  EXPECT_NEAR(f.rms, 0.0, 1e-8);

  // The residual alone (mode 0) agrees, and u, t are left at identity and zero.
  const Fit r = fit(kOnes, kPts, y, kN, 0);
  EXPECT_NEAR(r.rms, 0.0, 1e-8);
  EXPECT_EQ(r.ier, 0);
  expect_identity(r, 0.0);
  for (double v : r.t) EXPECT_EQ(v, 0.0);
}

TEST(U3b, MirrorImageStillGetsAProperRotation) {
  std::vector<double> y = kPts;
  for (int m = 0; m < kN; ++m) y[3 * m + 2] = -y[3 * m + 2];
  const Fit f = fit(kOnes, kPts, y, kN);
  EXPECT_NEAR(det(f), 1.0, 1e-9);
  EXPECT_GT(f.rms, 0.1);
  EXPECT_EQ(f.ier, 0);
  // rms is the weighted sum of squared deviations after applying U and t.
  double sum = 0;
  for (int m = 0; m < kN; ++m)
    for (int i = 1; i <= 3; ++i) {
      double v = f.t[i - 1];
      for (int j = 1; j <= 3; ++j) v += U(f, i, j) * kPts[3 * m + j - 1];
      sum += (v - y[3 * m + i - 1]) * (v - y[3 * m + i - 1]);
    }
  EXPECT_NEAR(f.rms, sum, 1e-5);  // the cubic uses a single-precision sqrt(3)
}

TEST(U3b, DegenerateInputs) {
  const std::vector<double> line = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3.5, 3.5, 3.5};
  std::vector<double> shifted = line;
  for (double& v : shifted) v += 1.0;
  EXPECT_EQ(fit(std::vector<double>(4, 1.0), line, shifted, 4).ier, -1);

  const Fit none = fit({}, {}, {}, 0);
  EXPECT_EQ(none.ier, -1);
  expect_identity(none, 0.0);
  EXPECT_EQ(none.rms, 0.0);

  std::vector<double> w = kOnes;
  w[2] = -1.0;
  const Fit neg = fit(w, kPts, kPts, kN);
  EXPECT_EQ(neg.ier, -2);
  expect_identity(neg, 0.0);
  for (double v : neg.t) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(fit(std::vector<double>(kN, 0.0), kPts, kPts, kN).ier, -2);

  // A zero weight drops its pair: a wild fifth point changes nothing.
  std::vector<double> y = kPts, w0 = kOnes;
  y[12] = 50, y[13] = -40, y[14] = 9;
  w0[4] = 0.0;
  const Fit z = fit(w0, kPts, y, kN);
  EXPECT_EQ(z.ier, 0);
  expect_identity(z, 1e-6);
  EXPECT_NEAR(z.rms, 0.0, 1e-9);

  // All points on one spot: only the translation is found, in either mode.
  const std::vector<double> p = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  const std::vector<double> q = {2, 3, 4, 2, 3, 4, 2, 3, 4};
  for (int mode : {0, 1}) {
    const Fit c = fit(std::vector<double>(3, 1.0), p, q, 3, mode);
    expect_identity(c, 0.0);
    EXPECT_EQ(c.t[0], 1.0);
    EXPECT_EQ(c.t[1], 2.0);
    EXPECT_EQ(c.t[2], 3.0);
  }
}

class CarmsdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s = std::make_unique<ModelState>();
    s->nres = 3;
    for (int r = 1; r <= 3; ++r) {
      s->ica(r) = 4 * r - 2;
      set_pos(*s, s->ica(r), {float(r), 0, 0});
      s->bbkxx(r) = float(r);
    }
  }
  std::unique_ptr<ModelState> s;
};

TEST_F(CarmsdTest, WithoutTemplateEveryResidueCounts) {
  carmsd(*s);
  EXPECT_EQ(s->rmsd, 0.0f);
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(s->dca2(r), 0.0f);

  s->yy(s->ica(2)) = 3.0f;
  s->zz(s->ica(3)) = 4.0f;
  carmsd(*s);
  EXPECT_EQ(s->dca2(2), 9.0f);
  EXPECT_EQ(s->dca2(3), 16.0f);
  EXPECT_FLOAT_EQ(s->rmsd, std::sqrt(25.0f / 3.0f));
}

TEST_F(CarmsdTest, ResiduesTheTemplateLacksStayOut) {
  s->itempl = 1;
  s->tmplres(1) = 1;
  s->tmplres(3) = 1;
  // Residue 2 has no template atom: its reference slot is still zero.
  s->bbkxx(2) = 0.0f;
  s->zz(s->ica(3)) = 2.0f;
  carmsd(*s);
  EXPECT_EQ(s->dca2(2), 0.0f);
  EXPECT_EQ(s->dca2(3), 4.0f);
  EXPECT_FLOAT_EQ(s->rmsd, std::sqrt(2.0f));

  s->tmplres(1) = s->tmplres(3) = 0;
  carmsd(*s);
  EXPECT_EQ(s->rmsd, 0.0f);

  s->nres = 0;
  s->itempl = 0;
  carmsd(*s);
  EXPECT_EQ(s->rmsd, 0.0f);
}

}  // namespace
}  // namespace vorb
