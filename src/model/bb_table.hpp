// Sparse index table of the backbone fragment library.
//
// Maps a cell (b1..b5, residue type, slot) to a fragment number. The dense form would be a
// 26 x 11 x 11 x 5 x 11 x 20 x 10 integer array (34606000 entries) per class; a library holds at
// most 70000 records, so a hash map gives the same constant-time lookup at a fraction of the
// memory. An absent cell reads 0; setting a cell again replaces its value. A bitmap of the bins
// (b1..b5) that hold any cell lets the widened searches of the backbone builder pass over empty
// bins without a lookup for every residue type.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace vorb {

class BBTable {
 public:
  static constexpr int kB1 = 25, kB2 = 10, kB3 = 10, kB4 = 4, kB5 = 10, kTypes = 20, kSlots = 10;

  // Whether (b1..b5, t, slot) lies in the table's index ranges.
  static bool in_range(int b1, int b2, int b3, int b4, int b5, int t, int slot) {
    return b1 >= 0 && b1 <= kB1 && b2 >= 0 && b2 <= kB2 && b3 >= 0 && b3 <= kB3 && b4 >= 0 &&
           b4 <= kB4 && b5 >= 0 && b5 <= kB5 && t >= 1 && t <= kTypes && slot >= 1 &&
           slot <= kSlots;
  }
  // Fragment number of the cell, 0 when empty or outside the index ranges.
  int operator()(int b1, int b2, int b3, int b4, int b5, int t, int slot) const {
    if (!in_range(b1, b2, b3, b4, b5, t, slot)) return 0;
    auto it = map_.find(key(b1, b2, b3, b4, b5, t, slot));
    return it == map_.end() ? 0 : it->second;
  }
  // Stores k in the cell (a later call for the same cell replaces it). Out-of-range cells are
  // ignored; the library reader rejects them before they get here.
  void set(int b1, int b2, int b3, int b4, int b5, int t, int slot, int k) {
    if (!in_range(b1, b2, b3, b4, b5, t, slot)) return;
    map_[key(b1, b2, b3, b4, b5, t, slot)] = k;
    const std::uint32_t b = bin(b1, b2, b3, b4, b5);
    if (used_.empty()) used_.assign(kBins / 64 + 1, 0);
    used_[b / 64] |= std::uint64_t(1) << (b % 64);
  }
  // Whether any cell of bin (b1..b5) has been set; false outside the index ranges.
  bool any(int b1, int b2, int b3, int b4, int b5) const {
    if (used_.empty() || !in_range(b1, b2, b3, b4, b5, 1, 1)) return false;
    const std::uint32_t b = bin(b1, b2, b3, b4, b5);
    return (used_[b / 64] >> (b % 64)) & 1;
  }
  void clear() {
    map_.clear();
    used_.clear();
  }
  void reserve(std::size_t n) { map_.reserve(n); }
  std::size_t size() const { return map_.size(); }

 private:
  static constexpr std::uint32_t kBins = (kB1 + 1) * (kB2 + 1) * (kB3 + 1) * (kB4 + 1) * (kB5 + 1);
  static std::uint32_t bin(int b1, int b2, int b3, int b4, int b5) {
    std::uint32_t k = std::uint32_t(b1);
    k = k * 11 + std::uint32_t(b2);
    k = k * 11 + std::uint32_t(b3);
    k = k * 5 + std::uint32_t(b4);
    k = k * 11 + std::uint32_t(b5);
    return k;
  }
  static std::uint32_t key(int b1, int b2, int b3, int b4, int b5, int t, int slot) {
    std::uint32_t k = bin(b1, b2, b3, b4, b5);
    k = k * 20 + std::uint32_t(t - 1);
    k = k * 10 + std::uint32_t(slot - 1);
    return k;
  }
  std::unordered_map<std::uint32_t, int> map_;
  std::vector<std::uint64_t> used_;  // bit bin(b1..b5): the bin holds a cell; empty until set
};

}  // namespace vorb
