#include "packer/pack.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "structure.hpp"

namespace vorb::packer {
namespace {

std::string source(const std::string& rel) { return std::string(VORB_SOURCE_DIR) + "/" + rel; }

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// The example chain's backbone (N, CA, C, O, OXT), every residue packed.
std::vector<Residue> backbone_of(const std::string& path) {
  std::vector<Residue> out;
  for (const tools::Residue& r : tools::read_chain(path).res) {
    Residue p{r.name, true, {}};
    for (const auto& [n4, xyz] : r.atoms) {
      const std::string n = trim(n4);
      if (n == "N" || n == "CA" || n == "C" || n == "O" || n == "OXT") p.atoms.push_back({n, n[0], xyz});
    }
    out.push_back(std::move(p));
  }
  return out;
}

// The search after ICM (pair moves) reaches an energy no higher than ICM from many perturbed
// starts, and lower than ICM alone; its result depends on nothing but the inputs.
TEST(PackSearch, PairMovesReachAtLeastTheEnergyOfManyRestarts) {
  const RotamerLibrary lib = RotamerLibrary::read(source("data/rotamers"));
  const SideChainGeometry geo = SideChainGeometry::read(source("data/tables/geometry.txt"));
  const std::vector<Residue> res = backbone_of(source("examples/1dpx_a.pdb"));
  Params icm;
  icm.pair_passes = 0;
  icm.restarts = 0;
  Params many = icm;
  many.restarts = 60;
  const Result d = pack(res, {}, lib, geo);
  const Result i = pack(res, {}, lib, geo, icm);
  const Result m = pack(res, {}, lib, geo, many);
  EXPECT_LT(d.energy, i.energy - 0.1) << d.energy << " against ICM alone " << i.energy;
  EXPECT_LE(d.energy, m.energy + 1e-6) << d.energy << " against 60 restarts " << m.energy;
  const Result again = pack(res, {}, lib, geo);
  EXPECT_EQ(again.energy, d.energy);
  ASSERT_EQ(again.side.size(), d.side.size());
  for (std::size_t k = 0; k < d.side.size(); ++k) {
    ASSERT_EQ(again.side[k].size(), d.side[k].size());
    for (std::size_t a = 0; a < d.side[k].size(); ++a) {
      EXPECT_EQ(again.side[k][a].p.x, d.side[k][a].p.x);
      EXPECT_EQ(again.side[k][a].p.z, d.side[k][a].p.z);
    }
  }
}

}  // namespace
}  // namespace vorb::packer
