// The refinement score, evaluated once per Monte Carlo trial.
#include "fixture.hpp"
#include "refine/energy.hpp"

namespace vorb::bench {
namespace {

void BM_energy_cal(benchmark::State& st) {
  run(st, shared_model(), [](ModelState& s) { energy_cal(s); });
}
BENCHMARK(BM_energy_cal);

}  // namespace
}  // namespace vorb::bench
