// Sparse index table of the backbone fragment library.
//
// Maps a cell (b1..b5, residue type, slot) to a fragment number. The dense form would be a
// 26 x 11 x 11 x 5 x 11 x 20 x 10 integer array (34606000 entries) per class; a library holds at
// most 70000 records, so a hash map gives the same constant-time lookup at a fraction of the
// memory. The map is open-addressed (linear probing, power-of-two capacity, load at most one
// half) in one array: reading a library inserts 70000 cells without an allocation per cell.
// An absent cell reads 0; setting a cell again replaces its value. A bitmap of the bins
// (b1..b5) that hold any cell lets the widened searches of the backbone builder pass over empty
// bins without a lookup for every residue type.
#pragma once

#include <cstddef>
#include <cstdint>
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
    if (slots_.empty()) return 0;
    const std::uint32_t k = key(b1, b2, b3, b4, b5, t, slot) + 1;
    for (std::size_t h = home(k);; h = (h + 1) & mask_) {
      const Slot& e = slots_[h];
      if (e.key == k) return e.value;
      if (e.key == 0) return 0;
    }
  }
  // Stores k in the cell (a later call for the same cell replaces it). Out-of-range cells are
  // ignored; the library reader rejects them before they get here.
  void set(int b1, int b2, int b3, int b4, int b5, int t, int slot, int k) {
    if (!in_range(b1, b2, b3, b4, b5, t, slot)) return;
    insert(key(b1, b2, b3, b4, b5, t, slot) + 1, k);
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
    slots_.clear();
    mask_ = 0;
    count_ = 0;
    used_.clear();
  }
  // Room for n cells without growing.
  void reserve(std::size_t n) {
    if (2 * n > slots_.size()) rehash(2 * n);
  }
  std::size_t size() const { return count_; }

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
  // A slot holds key + 1 (0: empty) and the cell's value.
  struct Slot {
    std::uint32_t key = 0;
    int value = 0;
  };
  std::size_t home(std::uint32_t k) const {
    return std::size_t((std::uint64_t(k) * 0x9E3779B97F4A7C15u) >> 40) & mask_;
  }
  void insert(std::uint32_t k, int value) {
    if (2 * (count_ + 1) > slots_.size()) rehash(2 * (count_ + 1));
    for (std::size_t h = home(k);; h = (h + 1) & mask_) {
      Slot& e = slots_[h];
      if (e.key == k) {
        e.value = value;
        return;
      }
      if (e.key == 0) {
        e = {k, value};
        ++count_;
        return;
      }
    }
  }
  // Capacity: the least power of two >= max(n, 16); the cells are placed again.
  void rehash(std::size_t n) {
    std::size_t cap = 16;
    while (cap < n) cap *= 2;
    std::vector<Slot> old(cap);
    old.swap(slots_);
    mask_ = cap - 1;
    count_ = 0;
    for (const Slot& e : old)
      if (e.key != 0) insert(e.key, e.value);
  }
  std::vector<Slot> slots_;
  std::size_t mask_ = 0, count_ = 0;
  std::vector<std::uint64_t> used_;  // bit bin(b1..b5): the bin holds a cell; empty until set
};

}  // namespace vorb
