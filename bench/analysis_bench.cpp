// Lattice fill, backbone hydrogen bonds and C-alpha clashes: the terms every Monte Carlo trial
// recomputes.
#include "fixture.hpp"

namespace vorb::bench {
namespace {

void BM_imerge2(benchmark::State& st) {
  run(st, shared_model(), [](ModelState& s) { imerge(s, 2); });
}
BENCHMARK(BM_imerge2);

void BM_hbonds2(benchmark::State& st) {
  Model& m = shared_model();
  setup_step(m, "imerge", [](ModelState& s) { imerge(s, 2); });
  run(st, m, [](ModelState& s) { hbonds(s, 2); });
  if (m.error.empty()) st.counters["hbonds"] = m.s->nhb;
}
BENCHMARK(BM_hbonds2);

void BM_calclash(benchmark::State& st) {
  run(st, shared_model(), [](ModelState& s) { calclash(s); });
}
BENCHMARK(BM_calclash);

}  // namespace
}  // namespace vorb::bench
