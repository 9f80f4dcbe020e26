#include "model/atom_table.hpp"

#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace vorb {
namespace {

// Key of (name, residue name, residue number): the first input atom of each key wins.
struct AtomKey {
  char t[7];
  int num;
  bool operator==(const AtomKey& o) const {
    return num == o.num && std::memcmp(t, o.t, sizeof t) == 0;
  }
};
struct AtomKeyHash {
  std::size_t operator()(const AtomKey& k) const {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : k.t) h = (h ^ std::uint8_t(c)) * 1099511628211ull;
    h = (h ^ std::uint32_t(k.num)) * 1099511628211ull;
    return std::size_t(h);
  }
};
AtomKey key(const Name4& name, const Name3& res, int num) {
  AtomKey k{};
  for (int c = 0; c < 4; ++c) k.t[c] = name.at(c);
  for (int c = 0; c < 3; ++c) k.t[4 + c] = res.at(c);
  k.num = num;
  return k;
}

}  // namespace

void build_atom_table(ModelState& s) {
  for (int i = 0; i <= kMaxAtoms; ++i) {
    s.xx(i) = kMissing;
    s.yy(i) = kMissing;
    s.zz(i) = kMissing;
  }
  std::unordered_map<AtomKey, int, AtomKeyHash> first;
  first.reserve(std::size_t(s.npdb) * 2);
  for (int j = 1; j <= s.npdb; ++j) first.emplace(key(s.pdbatom(j), s.pdbresd(j), s.pdbress(j)), j);

  for (int i = 1; i <= s.natom; ++i) {
    s.tkfp(i) = 0;
    auto it = first.find(key(s.atom(i, 1), s.resd2(i), s.ress2(i)));
    if (it != first.end()) {
      int j = it->second;
      s.xx(i) = s.xx0(j);
      s.yy(i) = s.yy0(j);
      s.zz(i) = s.zz0(j);
      s.tkfp(i) = j;
    }
  }
  for (int i = 1; i <= s.natom; ++i) {
    int heavy = 0;
    for (int k = 1; k <= s.bonda(i, 5); ++k) {
      int p = s.bonda(i, k);
      if (p >= 1 && s.aty(p) != 'H') ++heavy;
    }
    s.bonda(i, 6) = heavy;
    s.ress(i) = s.ress2(i);
    s.atomty(i) = s.atom(i, 1);
    s.resd(i) = s.resd2(i);
    s.assrd(i) = 0;
  }
  s.nocc = 0;
  s.iseed = s.natom;
}

}  // namespace vorb
