// Backbone hydrogen-bond search (hbonds flag 2) and the lattice refill that precedes it, on a
// full-atom model of a real 321-residue chain: its generated topology, side-chain heavy atoms
// completed, every hydrogen placed, the lattice filled.
//
// The chain is read from the shared structure set (VORB_BENCH_PDB overrides the path).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "analysis/hbonds.hpp"
#include "analysis/lattice.hpp"
#include "analysis/lattice_shift.hpp"
#include "builders/hydrogens.hpp"
#include "builders/sidechain.hpp"
#include "commands.hpp"
#include "io/pdb_read.hpp"
#include "io/topology_read.hpp"
#include "model/atom_table.hpp"
#include "model/model_state.hpp"

namespace {

namespace fs = std::filesystem;
using namespace vorb;

std::string bench_pdb() {
  if (const char* p = std::getenv("VORB_BENCH_PDB")) return p;
  return std::string(VORB_SOURCE_DIR) + "/../shared/structures/train/2pia_a.pdb";
}

// The model as the hydrogen-bond analysis run sees it after its lattice fill.
std::unique_ptr<ModelState> load_model() {
  const fs::path dir = fs::temp_directory_path() / ("vorb-hbench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string pdb = (dir / "m.pdb").string(), hdd = (dir / "Hdd").string();
  auto s = std::make_unique<ModelState>();
  if (tools::cmd_hdd({bench_pdb(), "-o", hdd, "--renumbered", pdb}) == 0) {
    s->mode = Name4::from("5");
    s->pdbfile = pdb;
    read_structure(*s);
    read_topology(*s, hdd);
    build_atom_table(*s);
    lattice_frame_shift(*s);
    heavy_add(*s);
    hadd(*s);
    imerge(*s, 1);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return s;
}

void BM_hbonds_backbone(benchmark::State& st) {
  auto s = load_model();
  if (s->natom == 0) st.SkipWithError("structure not available");
  for (auto _ : st) {
    hbonds(*s, 2);
    benchmark::DoNotOptimize(s->nhb);
  }
  st.counters["residues"] = s->nres;
  st.counters["atoms"] = s->natom;
  st.counters["bonds"] = s->nhb;
}
BENCHMARK(BM_hbonds_backbone)->Unit(benchmark::kMicrosecond);

void BM_hbonds_all(benchmark::State& st) {
  auto s = load_model();
  if (s->natom == 0) st.SkipWithError("structure not available");
  for (auto _ : st) {
    hbonds(*s, 1);
    benchmark::DoNotOptimize(s->nhb);
  }
  st.counters["bonds"] = s->nhb;
}
BENCHMARK(BM_hbonds_all)->Unit(benchmark::kMicrosecond);

void BM_imerge_refill(benchmark::State& st) {
  auto s = load_model();
  if (s->natom == 0) st.SkipWithError("structure not available");
  for (auto _ : st) {
    imerge(*s, 2);
    benchmark::DoNotOptimize(s->nocc);
  }
  st.counters["atoms"] = s->natom;
}
BENCHMARK(BM_imerge_refill)->Unit(benchmark::kMicrosecond);

}  // namespace
