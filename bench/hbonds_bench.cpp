// Backbone hydrogen-bond search (hbonds flag 2) and the lattice fill that precedes it, on a
// real 321-residue chain: every heavy atom of the file plus an amide hydrogen on each
// non-proline N, roles and partners as the topology gives them for the backbone.
//
// The chain is read from the shared structure set (VORB_BENCH_PDB overrides the path).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "analysis/hbonds.hpp"
#include "analysis/lattice.hpp"
#include "model/coords.hpp"
#include "model/model_state.hpp"
#include "structure.hpp"

namespace {

using namespace vorb;

std::string bench_pdb() {
  if (const char* p = std::getenv("VORB_BENCH_PDB")) return p;
  return std::string(VORB_SOURCE_DIR) + "/../shared/structures/train/2pia_a.pdb";
}

int add_atom(ModelState& s, const std::string& name, const std::string& res, int r, Vec3 p,
             int hb) {
  const int i = ++s.natom;
  s.atomty(i) = Name4::from(name);
  s.atom(i, 1) = s.atomty(i);
  s.resd(i) = Name3::from(res);
  s.ress(i) = r;
  s.aty(i) = name[1];
  s.atmhb(i) = hb;
  set_pos(s, i, p);
  return i;
}

void link(ModelState& s, int i, int j) {
  s.bonda(i, ++s.bonda(i, 5)) = j;
  s.bonda(j, ++s.bonda(j, 5)) = i;
}

std::unique_ptr<ModelState> load_model() {
  const tools::Chain c = tools::read_chain(bench_pdb());
  auto s = std::make_unique<ModelState>();
  for (int i = 0; i <= kMaxAtoms; ++i) set_missing(*s, i);
  int prev_c = 0;
  for (const tools::Residue& res : c.res) {
    const Vec3 *n = res.find(" N  "), *ca = res.find(" CA "), *cc = res.find(" C  "),
               *o = res.find(" O  ");
    if (!n || !ca || !cc || !o) {
      prev_c = 0;
      continue;
    }
    const int r = ++s->nres;
    const int in = add_atom(*s, " N  ", res.name, r, *n, 0);
    const int ica = add_atom(*s, " CA ", res.name, r, *ca, 0);
    const int ic = add_atom(*s, " C  ", res.name, r, *cc, 0);
    const int io = add_atom(*s, " O  ", res.name, r, *o, 1);
    s->ica(r) = ica;
    link(*s, in, ica);
    link(*s, ica, ic);
    link(*s, io, ic);
    for (const auto& [name, p] : res.atoms) {
      if (name == " N  " || name == " CA " || name == " C  " || name == " O  " || name[1] == 'H')
        continue;
      const int a = add_atom(*s, name, res.name, r, p, name[1] == 'O' ? 1 : 0);
      s->bonda(a, 1) = ica;  // a bonded heavy atom for the side-chain acceptors
      s->bonda(a, 5) = 1;
    }
    if (prev_c != 0 && res.name != "PRO") {
      // Amide hydrogen away from the midpoint of C(prev) and CA, 1.01 A from N.
      const Vec3 mid = (pos(*s, prev_c) + *ca) / 2.0f;
      const Vec3 d = *n - mid;
      const int h = add_atom(*s, " H  ", res.name, r, *n + 1.01f * d / norm(d), -1);
      link(*s, h, in);
      s->bond(h, 2) = 1.01f;
    }
    if (prev_c != 0) link(*s, prev_c, in);
    prev_c = ic;
  }
  for (int k = 1; k <= kMaxPot; ++k) {
    s->hbpot(k, 1) = 0.3f;
    s->hbpot(k, 2) = 0.2f;
    s->hbpot(k, 3) = 0.1f;
  }
  imerge(*s, 1);
  return s;
}

void BM_hbonds_backbone(benchmark::State& st) {
  auto s = load_model();
  for (auto _ : st) {
    hbonds(*s, 2);
    benchmark::DoNotOptimize(s->nhb);
  }
  st.counters["residues"] = s->nres;
  st.counters["atoms"] = s->natom;
  st.counters["bonds"] = s->nhb;
}
BENCHMARK(BM_hbonds_backbone)->Unit(benchmark::kMicrosecond);

void BM_imerge_refill(benchmark::State& st) {
  auto s = load_model();
  for (auto _ : st) {
    imerge(*s, 2);
    benchmark::DoNotOptimize(s->nocc);
  }
  st.counters["atoms"] = s->natom;
}
BENCHMARK(BM_imerge_refill)->Unit(benchmark::kMicrosecond);

}  // namespace
