#include "geometry/sort.hpp"

namespace vorb {

// Both sorts are the classic heapsort on 1-based positions: build the heap by sifting down
// from n/2, then repeatedly move the top to the end. A child replaces its parent only when it
// is strictly greater than the sifted value; of two equal children the left one is taken.

void sort(std::span<float> arr) {
  const int n = static_cast<int>(arr.size());
  if (n < 2) return;
  auto A = [&arr](int i) -> float& { return arr[static_cast<std::size_t>(i - 1)]; };
  int l = n / 2 + 1, ir = n;
  for (;;) {
    float t;
    if (l > 1) {
      --l;
      t = A(l);
    } else {
      t = A(ir);
      A(ir) = A(1);
      --ir;
      if (ir == 1) {
        A(1) = t;
        return;
      }
    }
    int i = l, j = l + l;
    while (j <= ir) {
      if (j < ir && A(j) < A(j + 1)) ++j;
      if (t < A(j)) {
        A(i) = A(j);
        i = j;
        j = j + j;
      } else {
        j = ir + 1;
      }
    }
    A(i) = t;
  }
}

std::vector<int> sortindex(std::span<const float> arr) {
  const int n = static_cast<int>(arr.size());
  std::vector<int> indx(arr.size());
  for (int j = 1; j <= n; ++j) indx[static_cast<std::size_t>(j - 1)] = j;
  if (n < 2) return indx;
  auto I = [&indx](int i) -> int& { return indx[static_cast<std::size_t>(i - 1)]; };
  auto key = [&arr](int p) { return arr[static_cast<std::size_t>(p - 1)]; };
  int l = n / 2 + 1, ir = n;
  for (;;) {
    int it;
    if (l > 1) {
      --l;
      it = I(l);
    } else {
      it = I(ir);
      I(ir) = I(1);
      --ir;
      if (ir == 1) {
        I(1) = it;
        return indx;
      }
    }
    const float q = key(it);
    int i = l, j = l + l;
    while (j <= ir) {
      if (j < ir && key(I(j)) < key(I(j + 1))) ++j;
      if (q < key(I(j))) {
        I(i) = I(j);
        i = j;
        j = j + j;
      } else {
        j = ir + 1;
      }
    }
    I(i) = it;
  }
}

}  // namespace vorb
