// How closely the fast model predicts the exact one on contact shots (seed 1,
// 1000 shots; the test holds 300 of them to its bounds). The counters are the
// figures: median, p90 and p99 of the largest rest-point difference per shot
// (cm), and the share of shots whose stones in play differ (%), against the
// exact model at step 0.0001 s (the reference) and, to show why the fallback
// step is no reference for contacts, at 0.001 s.
#include "bench/agreement.h"

#include <benchmark/benchmark.h>

namespace {

void BM_FastAgainstExact(benchmark::State& state) {
  static const bool built = (Kelp::buildTables(), true);
  benchmark::DoNotOptimize(built);
  const double dt = state.range(0) * 1e-4;
  Kelp::agreement::Figures f;
  for (auto _ : state) f = Kelp::agreement::measure(1, 1000, dt);
  state.counters["shots"] = f.shots;
  state.counters["median_cm"] = 100.0 * f.median;
  state.counters["p90_cm"] = 100.0 * f.p90;
  state.counters["p99_cm"] = 100.0 * f.p99;
  state.counters["set_differs_pct"] = 100.0 * f.setDiffers;
}
// Argument: the exact model's step in units of 0.0001 s.
BENCHMARK(BM_FastAgainstExact)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
