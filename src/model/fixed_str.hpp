// Blank-padded fixed-width text (atom names "CA " as " CA ", residue names "ALA").
//
// The type is trivial so that it can live in zero-initialised tables; a zero byte reads as a
// blank, so an untouched entry equals an all-blank one.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vorb {

template <int N>
struct FixedStr {
  std::array<char, N> c;

  char at(int k) const { return c[std::size_t(k)] == '\0' ? ' ' : c[std::size_t(k)]; }
  std::string str() const {
    std::string s(static_cast<std::size_t>(N), ' ');
    for (int k = 0; k < N; ++k) s[std::size_t(k)] = at(k);
    return s;
  }
  // Takes the first N characters of t, padding with blanks on the right.
  static FixedStr from(std::string_view t) {
    FixedStr f;
    for (int k = 0; k < N; ++k) f.c[std::size_t(k)] = std::size_t(k) < t.size() ? t[std::size_t(k)] : ' ';
    return f;
  }
  // Equal to t blank-padded (or cut) to N characters.
  bool operator==(std::string_view t) const {
    for (int k = 0; k < N; ++k) {
      char o = std::size_t(k) < t.size() ? t[std::size_t(k)] : ' ';
      if (at(k) != o) return false;
    }
    return true;
  }
  bool operator==(const FixedStr& o) const {
    for (int k = 0; k < N; ++k)
      if (at(k) != o.at(k)) return false;
    return true;
  }
  // Whether the text starts with the given prefix.
  bool starts_with(std::string_view p) const {
    for (std::size_t k = 0; k < p.size(); ++k)
      if (int(k) >= N || at(int(k)) != p[k]) return false;
    return true;
  }
};

using Name4 = FixedStr<4>;
using Name3 = FixedStr<3>;
using Text30 = FixedStr<30>;

}  // namespace vorb
