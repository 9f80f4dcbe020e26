// The trace regulariser on a 500-residue trace with 0.5 A of noise per coordinate: ten helices
// of 50 residues side by side, 10 A apart, so that the pair constraints have neighbours.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "regularize/regularize.hpp"

namespace vorb::bench {
namespace {

std::vector<regularize::TraceResidue> bundle() {
  std::mt19937 rng(15);
  std::normal_distribution<double> g(0.0, 0.5);
  std::vector<regularize::TraceResidue> c;
  for (int h = 0; h < 10; ++h)
    for (int k = 0; k < 50; ++k) {
      const double t = 1.745 * k, up = h % 2 ? 1.5 * (49 - k) : 1.5 * k;
      regularize::TraceResidue r;
      r.ca = {10.0 * (h % 4) + 2.3 * std::cos(t) + g(rng), 10.0 * (h / 4) + 2.3 * std::sin(t) + g(rng),
              up + g(rng)};
      r.number = h * 50 + k + 1;
      c.push_back(r);
    }
  return c;
}

void BM_regularize_500(benchmark::State& st) {
  const std::vector<regularize::TraceResidue> in = bundle();
  for (auto _ : st) {
    std::vector<regularize::TraceResidue> c = in;
    regularize::Report rep = regularize::regularize(c);
    benchmark::DoNotOptimize(rep);
  }
}
BENCHMARK(BM_regularize_500)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorb::bench
