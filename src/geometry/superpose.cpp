#include "geometry/superpose.hpp"

#include <cmath>

namespace vorb {

// Kabsch superposition with the eigenvalues of (R^T R) from the closed-form roots of its
// characteristic cubic. Matrices are 1-based (row, column); every step keeps its order of
// operations so that results are reproducible to the last bit.
void u3b(const double* w, const double* x, const double* y, int n, int mode, double& rms,
         double u_[9], double t_[3], int& ier) {
  static const int ip[9] = {1, 2, 4, 2, 3, 5, 4, 5, 6};
  static const int ip2312[4] = {2, 3, 1, 2};
  const double sqrt3 = 1.7320507764816284, tol = 0.01, degen = 1e-5;

  auto X = [x](int i, int m) { return x[3 * (m - 1) + (i - 1)]; };
  auto Y = [y](int i, int m) { return y[3 * (m - 1) + (i - 1)]; };
  auto u = [u_](int i, int j) -> double& { return u_[(i - 1) + 3 * (j - 1)]; };
  auto t = [t_](int i) -> double& { return t_[i - 1]; };
  double r[4][4] = {}, a[4][4] = {}, b[4][4] = {};
  double xc[4] = {}, yc[4] = {}, e[4] = {}, rr[7] = {}, ss[7] = {};
  double e0 = 0.0, wc = 0.0, sigma = 0.0, d = 0.0, p = 0.0;

  rms = 0.0;
  for (int i = 1; i <= 3; ++i) {
    t(i) = 0.0;
    for (int j = 1; j <= 3; ++j) {
      u(i, j) = i == j ? 1.0 : 0.0;
      a[i][j] = i == j ? 1.0 : 0.0;
    }
  }
  ier = -1;
  if (n < 1) return;

  ier = -2;
  for (int m = 1; m <= n; ++m) {
    if (w[m - 1] < 0.0) return;
    wc = wc + w[m - 1];
    for (int i = 1; i <= 3; ++i) {
      xc[i] = xc[i] + w[m - 1] * X(i, m);
      yc[i] = yc[i] + w[m - 1] * Y(i, m);
    }
  }
  if (wc <= 0.0) return;
  for (int i = 1; i <= 3; ++i) {
    xc[i] = xc[i] / wc;
    yc[i] = yc[i] / wc;
  }

  for (int m = 1; m <= n; ++m) {
    for (int i = 1; i <= 3; ++i) {
      const double dx = X(i, m) - xc[i], dy = Y(i, m) - yc[i];
      e0 = e0 + w[m - 1] * (dx * dx + dy * dy);
      d = w[m - 1] * dy;
      for (int j = 1; j <= 3; ++j) r[i][j] = r[i][j] + d * (X(j, m) - xc[j]);
    }
  }

  sigma = r[1][1] * (r[2][2] * r[3][3] - r[2][3] * r[3][2]) -
          r[1][2] * (r[2][1] * r[3][3] - r[2][3] * r[3][1]) +
          r[1][3] * (r[2][1] * r[3][2] - r[2][2] * r[3][1]);

  {
    int m = 0;
    for (int j = 1; j <= 3; ++j)
      for (int i = 1; i <= j; ++i)
        rr[++m] = r[1][i] * r[1][j] + r[2][i] * r[2][j] + r[3][i] * r[3][j];
  }

  const double spur = (rr[1] + rr[3] + rr[6]) / 3.0;
  const double cof =
      (rr[3] * rr[6] - rr[5] * rr[5] + rr[1] * rr[6] - rr[4] * rr[4] + rr[1] * rr[3] -
       rr[2] * rr[2]) /
      3.0;
  const double det = sigma * sigma;
  e[1] = e[2] = e[3] = spur;

  // Rebuilds column m1 of v perpendicular to column m from the two larger components of m;
  // false when those are too small to define a direction.
  auto rebuild = [&](double (&v)[4][4], int m, int m1) {
    double q = 1.0;
    int j = 1;
    for (int i = 1; i <= 3; ++i) {
      if (std::fabs(v[i][m]) <= q) {
        q = std::fabs(v[i][m]);
        j = i;
      }
    }
    const int k = ip2312[j - 1], l = ip2312[j];
    q = std::sqrt(v[k][m] * v[k][m] + v[l][m] * v[l][m]);
    if (q <= tol) return false;
    v[j][m1] = 0.0;
    v[k][m1] = -v[l][m] / q;
    v[l][m1] = v[k][m] / q;
    return true;
  };

  bool to_translation = spur <= 0.0;
  bool to_residual = false;
  bool to_b = false;
  if (!to_translation) {
    const double h = spur * spur - cof;
    const double g = (spur * cof - det) * 0.5 - spur * h;
    if (h <= 0.0) {
      if (mode == 0)
        to_residual = true;
      else
        to_b = true;
    } else {
      const double sqrth = std::sqrt(h);
      d = h * h * h - g * g;
      if (d < 0.0) d = 0.0;
      d = std::atan2(std::sqrt(d), -g) / 3.0;
      const double cth = sqrth * std::cos(d);
      const double sth = sqrth * sqrt3 * std::sin(d);
      e[1] = spur + cth + cth;
      e[2] = (spur - cth) + sth;
      e[3] = (spur - cth) - sth;
      if (mode == 0) to_residual = true;
    }
  }

  if (!to_translation && !to_residual && !to_b) {
    // Eigenvectors of R^T R for the largest and the smallest eigenvalue.
    for (int l = 1; l <= 3; l += 2) {
      d = e[l];
      ss[1] = (d - rr[3]) * (d - rr[6]) - rr[5] * rr[5];
      ss[2] = (d - rr[6]) * rr[2] + rr[4] * rr[5];
      ss[3] = (d - rr[1]) * (d - rr[6]) - rr[4] * rr[4];
      ss[4] = (d - rr[3]) * rr[4] + rr[2] * rr[5];
      ss[5] = (d - rr[1]) * rr[5] + rr[2] * rr[4];
      ss[6] = (d - rr[1]) * (d - rr[3]) - rr[2] * rr[2];
      int j;
      if (std::fabs(ss[1]) >= std::fabs(ss[3]) && std::fabs(ss[1]) >= std::fabs(ss[6]))
        j = 1;
      else if (std::fabs(ss[3]) > std::fabs(ss[1]) && std::fabs(ss[3]) >= std::fabs(ss[6]))
        j = 2;
      else
        j = 3;
      d = 0.0;
      j = 3 * (j - 1);
      for (int i = 1; i <= 3; ++i) {
        const double q = ss[ip[j + i - 1]];
        a[i][l] = q;
        d = d + q * q;
      }
      if (d > 0.0) {
        d = std::sqrt(d);
        for (int i = 1; i <= 3; ++i) a[i][l] = a[i][l] / d;
      }
    }

    d = a[1][1] * a[1][3] + a[2][1] * a[2][3] + a[3][1] * a[3][3];
    int m, m1;
    if (e[1] - e[2] > e[2] - e[3]) {
      m = 1;
      m1 = 3;
    } else {
      m = 3;
      m1 = 1;
    }
    p = 0.0;
    for (int i = 1; i <= 3; ++i) {
      a[i][m1] = a[i][m1] - d * a[i][m];
      p = p + a[i][m1] * a[i][m1];
    }
    if (p > tol) {
      p = std::sqrt(p);
      for (int i = 1; i <= 3; ++i) a[i][m1] = a[i][m1] / p;
      to_b = true;
    } else {
      to_b = rebuild(a, m, m1);
      if (!to_b) to_translation = true;
    }
    if (to_b) {
      a[1][2] = a[2][3] * a[3][1] - a[2][1] * a[3][3];
      a[2][2] = a[3][3] * a[1][1] - a[3][1] * a[1][3];
      a[3][2] = a[1][3] * a[2][1] - a[1][1] * a[2][3];
    }
  }

  if (to_b) {
    // b = R a, orthonormalised; U = b a^T.
    for (int l = 1; l <= 2; ++l) {
      d = 0.0;
      for (int i = 1; i <= 3; ++i) {
        b[i][l] = r[i][1] * a[1][l] + r[i][2] * a[2][l] + r[i][3] * a[3][l];
        d = d + b[i][l] * b[i][l];
      }
      if (d > 0.0) {
        d = std::sqrt(d);
        for (int i = 1; i <= 3; ++i) b[i][l] = b[i][l] / d;
      }
    }
    d = b[1][1] * b[1][2] + b[2][1] * b[2][2] + b[3][1] * b[3][2];
    p = 0.0;
    for (int i = 1; i <= 3; ++i) {
      b[i][2] = b[i][2] - d * b[i][1];
      p = p + b[i][2] * b[i][2];
    }
    bool ok = true;
    if (p > tol) {
      p = std::sqrt(p);
      for (int i = 1; i <= 3; ++i) b[i][2] = b[i][2] / p;
    } else {
      ok = rebuild(b, 1, 2);
    }
    if (ok) {
      b[1][3] = b[2][1] * b[3][2] - b[2][2] * b[3][1];
      b[2][3] = b[3][1] * b[1][2] - b[3][2] * b[1][1];
      b[3][3] = b[1][1] * b[2][2] - b[1][2] * b[2][1];
      for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
          u(i, j) = b[i][1] * a[j][1] + b[i][2] * a[j][2] + b[i][3] * a[j][3];
    }
    to_translation = true;
  }

  if (to_translation) {
    for (int i = 1; i <= 3; ++i)
      t(i) = ((yc[i] - u(i, 1) * xc[1]) - u(i, 2) * xc[2]) - u(i, 3) * xc[3];
  }

  // Residual from the singular values of R, the smallest one signed by det(R).
  for (int i = 1; i <= 3; ++i) {
    if (e[i] < 0.0) e[i] = 0.0;
    e[i] = std::sqrt(e[i]);
  }
  ier = 0;
  if (e[2] <= degen * e[1]) ier = -1;
  d = e[3];
  if (sigma < 0.0) {
    d = -e[3];
    if (e[2] - e[3] <= degen * e[1]) ier = -1;
  }
  d = (d + e[2]) + e[1];
  rms = (e0 - d) - d;
  if (rms < 0.0) rms = 0.0;
}

void carmsd(ModelState& s) {
  const bool tmpl = s.itempl == 1;
  float sum = 0.0f;
  int count = 0;
  for (int i = 1; i <= s.nres; ++i) {
    if (tmpl && s.tmplres(i) == 0) {
      // The template has no atom here: the reference slot holds no position to compare with.
      s.dca2(i) = 0.0f;
      continue;
    }
    const int c = s.ica(i);
    const float dx = s.xx(c) - s.bbkxx(i), dy = s.yy(c) - s.bbkyy(i), dz = s.zz(c) - s.bbkzz(i);
    s.dca2(i) = dx * dx + dy * dy + dz * dz;
    sum = sum + s.dca2(i);
    ++count;
  }
  s.rmsd = count > 0 ? std::sqrt(sum / static_cast<float>(count)) : 0.0f;
}

}  // namespace vorb
