// Fixed-capacity tables with Fortran-style 1-based indexing.
//
// Storage comes from std::calloc: a table reads as zero before it is written. The C library maps
// large blocks straight from the kernel, whose pages are zero and cost nothing until touched, so
// a 360^3 lattice costs what the protein occupies, not 186 MB. Every access is bounds-checked; an
// index outside the declared range throws IndexError.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace vorb {

struct IndexError : std::out_of_range {
  IndexError(long i, long lo, long hi)
      : std::out_of_range("table index " + std::to_string(i) + " outside " + std::to_string(lo) +
                          ".." + std::to_string(hi)) {}
};

namespace detail {
template <class T>
T* zalloc(std::size_t n) {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  void* p = std::calloc(n, sizeof(T));
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T*>(p);
}
}  // namespace detail

// Zero-initialised block of n elements, move-only.
template <class T>
class ZBlock {
 public:
  explicit ZBlock(std::size_t n) : p_(detail::zalloc<T>(n)), n_(n) {}
  ZBlock(const ZBlock&) = delete;
  ZBlock& operator=(const ZBlock&) = delete;
  ~ZBlock() { std::free(p_); }
  T* data() { return p_; }
  const T* data() const { return p_; }
  std::size_t size() const { return n_; }

 private:
  T* p_;
  std::size_t n_;
};

// One-dimensional table indexed Lo..Hi.
template <class T, int Lo, int Hi>
class Tab1 {
 public:
  Tab1() : b_(std::size_t(Hi - Lo + 1)) {}
  static constexpr int lo() { return Lo; }
  static constexpr int hi() { return Hi; }
  T& operator()(int i) { return b_.data()[idx(i)]; }
  const T& operator()(int i) const { return b_.data()[idx(i)]; }
  T* data() { return b_.data(); }
  const T* data() const { return b_.data(); }
  // Sets entries lo..hi (inclusive) to v.
  void fill(const T& v, int lo = Lo, int hi = Hi) {
    for (int i = lo; i <= hi; ++i) (*this)(i) = v;
  }

 private:
  static std::size_t idx(int i) {
    if (i < Lo || i > Hi) throw IndexError(i, Lo, Hi);
    return std::size_t(i - Lo);
  }
  ZBlock<T> b_;
};

// Two-dimensional table indexed (1..N, 1..M), rows contiguous.
template <class T, int N, int M>
class Tab2 {
 public:
  Tab2() : b_(std::size_t(N) * M) {}
  static constexpr int rows() { return N; }
  static constexpr int cols() { return M; }
  T& operator()(int i, int j) { return b_.data()[idx(i, j)]; }
  const T& operator()(int i, int j) const { return b_.data()[idx(i, j)]; }
  void fill_row(int i, const T& v) {
    for (int j = 1; j <= M; ++j) (*this)(i, j) = v;
  }
  // Row i (checked) as M contiguous entries: row(i)[j - 1] is (i, j).
  const T* row(int i) const { return b_.data() + idx(i, 1); }

 private:
  static std::size_t idx(int i, int j) {
    if (i < 1 || i > N) throw IndexError(i, 1, N);
    if (j < 1 || j > M) throw IndexError(j, 1, M);
    return std::size_t(i - 1) * M + std::size_t(j - 1);
  }
  ZBlock<T> b_;
};

// Three-dimensional table indexed (1..N, 1..N, 1..N), the last index contiguous.
template <class T, int N>
class Tab3 {
 public:
  Tab3() : b_(std::size_t(N) * N * N) {}
  T& operator()(int x, int y, int z) { return b_.data()[idx(x, y, z)]; }
  const T& operator()(int x, int y, int z) const { return b_.data()[idx(x, y, z)]; }
  // Line (x, y) (checked) as N contiguous entries: row(x, y)[z - 1] is (x, y, z).
  const T* row(int x, int y) const { return b_.data() + idx(x, y, 1); }

 private:
  static std::size_t idx(int x, int y, int z) {
    if (x < 1 || x > N) throw IndexError(x, 1, N);
    if (y < 1 || y > N) throw IndexError(y, 1, N);
    if (z < 1 || z > N) throw IndexError(z, 1, N);
    return (std::size_t(x - 1) * N + std::size_t(y - 1)) * N + std::size_t(z - 1);
  }
  ZBlock<T> b_;
};

}  // namespace vorb
