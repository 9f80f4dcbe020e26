// Accuracy of the analysis modes on the held-out structures, printed as benchmark counters:
//
//   Accuracy/HydrogenOnly   mode "1": hydrogens the topology lists that were missing from the
//                           input, how many of them hadd placed, and how many of the rest sit on
//                           a heavy atom the input lacks (mode "1" builds no heavy atoms).
//   Accuracy/BackboneHbonds mode "5": backbone N-H..O bonds found by hbonds (1) against the
//                           electrostatic list (E < -0.5 kcal/mol) of the same chains, both ways.
//   Accuracy/ThreeState     mode "8": residues whose torsion-based code (coil, helix, strand)
//                           equals the three-state reduction of the electrostatic assignment.
//
// Each runs once over the held-out part of the shared training set (VORB_BENCH_STRUCTURES
// overrides the directory): vorb_bench --benchmark_filter=Accuracy
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <utility>

#include "analysis/hbonds.hpp"
#include "analysis/lattice.hpp"
#include "analysis/lattice_shift.hpp"
#include "analysis/torsions.hpp"
#include "builders/hydrogens.hpp"
#include "builders/sidechain.hpp"
#include "commands.hpp"
#include "dssp.hpp"
#include "holdout.hpp"
#include "io/pdb_read.hpp"
#include "io/topology_read.hpp"
#include "model/atom_table.hpp"
#include "structure.hpp"

namespace {

namespace fs = std::filesystem;
using namespace vorb;

std::string structures_dir() {
  if (const char* p = std::getenv("VORB_BENCH_STRUCTURES")) return p;
  return std::string(VORB_SOURCE_DIR) + "/../shared/structures/train";
}

// One held-out chain renumbered 1..n with its generated topology, in a scratch directory.
struct Prepared {
  std::string pdb, hdd;
};

struct Scratch {
  fs::path dir = fs::temp_directory_path() / ("vorb-accuracy-" + std::to_string(::getpid()));
  Scratch() { fs::create_directories(dir); }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

bool prepare(const std::string& path, const fs::path& dir, Prepared& p) {
  const std::string stem = fs::path(path).stem().string();
  p.pdb = (dir / (stem + ".pdb")).string();
  p.hdd = (dir / (stem + ".Hdd")).string();
  std::cout.flush();
  return tools::cmd_hdd({path, "-o", p.hdd, "--renumbered", p.pdb}) == 0;
}

std::unique_ptr<ModelState> start(const Prepared& p, const char* mode) {
  auto s = std::make_unique<ModelState>();
  s->mode = Name4::from(mode);
  s->pdbfile = p.pdb;
  read_structure(*s);
  read_topology(*s, p.hdd);
  build_atom_table(*s);
  lattice_frame_shift(*s);
  return s;
}

std::vector<std::string> heldout() {
  try {
    return tools::split_directory(structures_dir()).heldout;
  } catch (const std::exception&) {
    return {};
  }
}

void BM_HydrogenOnly(benchmark::State& st) {
  Scratch tmp;
  long missing = 0, placed = 0, orphans = 0, chains = 0;
  for (auto _ : st) {
    for (const std::string& f : heldout()) {
      Prepared p;
      if (!prepare(f, tmp.dir, p)) continue;
      auto s = start(p, "1");
      std::vector<int> gaps;
      for (int i = 1; i <= s->natom; ++i)
        if (s->aty(i) == 'H' && s->missing(i)) gaps.push_back(i);
      hadd(*s);
      missing += long(gaps.size());
      for (int i : gaps) {
        placed += s->placed(i) ? 1 : 0;
        orphans += s->missing(i) && s->missing(s->bonda(i, 1)) ? 1 : 0;
      }
      ++chains;
    }
  }
  if (chains == 0) st.SkipWithError("no held-out structures");
  st.counters["chains"] = double(chains);
  st.counters["H_missing"] = double(missing);
  st.counters["H_placed"] = double(placed);
  st.counters["H_on_absent_parent"] = double(orphans);
}
BENCHMARK(BM_HydrogenOnly)->Name("Accuracy/HydrogenOnly")->Iterations(1)->Unit(benchmark::kSecond);

void BM_BackboneHbonds(benchmark::State& st) {
  Scratch tmp;
  long ours = 0, theirs = 0, both = 0, chains = 0;
  for (auto _ : st) {
    for (const std::string& f : heldout()) {
      Prepared p;
      if (!prepare(f, tmp.dir, p)) continue;
      auto s = start(p, "5");
      heavy_add(*s);
      hadd(*s);
      imerge(*s, 1);
      hbonds(*s, 1);
      std::set<std::pair<int, int>> found, ref;
      for (int k = 1; k <= s->nhb; ++k) {
        const int d = s->hbpair(k, 1), a = s->hbpair(k, 2);
        if (s->atomty(d) == " N  " && s->atomty(a) == " O  ") found.insert({s->ress(d), s->ress(a)});
      }
      const tools::Assignment as = tools::assign_secondary(tools::read_chain(p.pdb));
      for (const tools::BackboneHBond& b : as.hbonds) ref.insert({b.donor + 1, b.acceptor + 1});
      ours += long(found.size());
      theirs += long(ref.size());
      for (const auto& b : found) both += ref.count(b) ? 1 : 0;
      ++chains;
    }
  }
  if (chains == 0) st.SkipWithError("no held-out structures");
  st.counters["chains"] = double(chains);
  st.counters["ours"] = double(ours);
  st.counters["reference"] = double(theirs);
  st.counters["ours_in_ref"] = ours ? double(both) / double(ours) : 0.0;
  st.counters["ref_found"] = theirs ? double(both) / double(theirs) : 0.0;
}
BENCHMARK(BM_BackboneHbonds)->Name("Accuracy/BackboneHbonds")->Iterations(1)->Unit(benchmark::kSecond);

void BM_ThreeState(benchmark::State& st) {
  Scratch tmp;
  long residues = 0, same = 0, chains = 0;
  long confusion[5][5] = {};
  for (auto _ : st) {
    for (const std::string& f : heldout()) {
      Prepared p;
      if (!prepare(f, tmp.dir, p)) continue;
      auto s = start(p, "9");  // mode "8" without its files
      angle(*s);
      ass2nd(*s);
      const tools::Assignment as = tools::assign_secondary(tools::read_chain(p.pdb));
      const int n = std::min<int>(s->nres, int(as.ss.size()));
      for (int r = 1; r <= n; ++r) {
        const int ref = tools::three_state(as.ss[std::size_t(r - 1)]);
        const int ours = s->seq2(r, 1);
        ++residues;
        same += ours == ref ? 1 : 0;
        if (ours >= 1 && ours <= 4 && ref >= 1 && ref <= 4) ++confusion[ours][ref];
      }
      ++chains;
    }
  }
  if (chains == 0) st.SkipWithError("no held-out structures");
  st.counters["chains"] = double(chains);
  st.counters["residues"] = double(residues);
  st.counters["agreement"] = residues ? double(same) / double(residues) : 0.0;
  const char* label = "-H?E";
  for (int a : {1, 2, 4})
    for (int b : {1, 2, 4})
      st.counters[std::string("ours_") + label[a - 1] + "_ref_" + label[b - 1]] =
          double(confusion[a][b]);
}
BENCHMARK(BM_ThreeState)->Name("Accuracy/ThreeState")->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
