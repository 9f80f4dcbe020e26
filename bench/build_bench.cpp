// Backbone re-choice and side-chain rebuild, each on its own copy of the model because they
// move atoms.
#include "builders/backbone.hpp"
#include "builders/sd_opt.hpp"
#include "fixture.hpp"

namespace vorb::bench {
namespace {

// Every residue free (resfix 0), so each call re-chooses all 150 fragments.
void BM_bbadd2(benchmark::State& st) {
  static Model m = make_model();
  for (int r = 1; r <= m.s->nres; ++r) m.s->resfix(r) = 0;
  run(st, m, [](ModelState& s) { bbadd(s, 2); });
}
BENCHMARK(BM_bbadd2);

void BM_sd_opt(benchmark::State& st) {
  static Model m = make_model();
  run(st, m, [](ModelState& s) { sd_opt(s); });
}
BENCHMARK(BM_sd_opt);

}  // namespace
}  // namespace vorb::bench
