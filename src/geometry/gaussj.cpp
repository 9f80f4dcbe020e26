#include "geometry/gaussj.hpp"

#include <cmath>
#include <utility>

namespace vorb {

void gaussj(float a_[9], float b_[3]) {
  auto a = [a_](int r, int c) -> float& { return a_[(r - 1) + 3 * (c - 1)]; };
  auto b = [b_](int r) -> float& { return b_[r - 1]; };
  int ipiv[4] = {0, 0, 0, 0}, indxr[4] = {0, 0, 0, 0}, indxc[4] = {0, 0, 0, 0};

  for (int i = 1; i <= 3; ++i) {
    float big = 0.0f;
    int irow = 0, icol = 0;
    for (int j = 1; j <= 3; ++j) {
      if (ipiv[j] == 1) continue;
      for (int k = 1; k <= 3; ++k) {
        if (ipiv[k] == 0) {
          if (std::fabs(a(j, k)) >= big) {  // of equal candidates the last one wins
            big = std::fabs(a(j, k));
            irow = j;
            icol = k;
          }
        } else if (ipiv[k] > 1) {
          return;
        }
      }
    }
    if (icol == 0) {  // only NaN entries left: no pivot to take, treat as singular
      b(1) = b(2) = b(3) = 0.0f;
      return;
    }
    ++ipiv[icol];
    if (irow != icol) {
      for (int l = 1; l <= 3; ++l) std::swap(a(irow, l), a(icol, l));
      std::swap(b(irow), b(icol));
    }
    indxr[i] = irow;
    indxc[i] = icol;
    if (a(icol, icol) == 0.0f) {
      b(1) = b(2) = b(3) = 0.0f;
      return;
    }
    const float pivinv = 1.0f / a(icol, icol);
    a(icol, icol) = 1.0f;
    for (int l = 1; l <= 3; ++l) a(icol, l) = a(icol, l) * pivinv;
    b(icol) = b(icol) * pivinv;
    for (int m = 1; m <= 3; ++m) {
      if (m == icol) continue;
      const float d = a(m, icol);
      a(m, icol) = 0.0f;
      for (int l = 1; l <= 3; ++l) a(m, l) = a(m, l) - a(icol, l) * d;
      b(m) = b(m) - b(icol) * d;
    }
  }
  for (int l = 3; l >= 1; --l) {
    if (indxr[l] != indxc[l])
      for (int k = 1; k <= 3; ++k) std::swap(a(k, indxr[l]), a(k, indxc[l]));
  }
}

}  // namespace vorb
