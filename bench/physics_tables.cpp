// Start-up cost of the trajectory tables, and one lone draw through the exact
// Box2D model against the same draw through the tables.
#include <benchmark/benchmark.h>

#include <cmath>

#include "kelpsimulator/primitive.h"
#include "kelpsimulator/simulator.h"
#include "kelpsimulator/trajectory.h"

namespace {

// A draw to about the tee with positive spin, aimed against the curl.
constexpr double THROW_SPEED = 28.0;
constexpr double THROW_TH = -0.055;
constexpr double THROW_W = 0.066696;

void BM_BuildTables(benchmark::State& state) {
  for (auto _ : state) {
    Kelp::buildTables();
    benchmark::DoNotOptimize(Kelp::pathBySpeed[Kelp::PATH_TABLE_SIZE - 1]);
    benchmark::ClobberMemory();
  }
}
// All three tables in parallel, as at start-up; five builds, median reported.
BENCHMARK(BM_BuildTables)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_LoneStone(benchmark::State& state, bool exact) {
  // The lookups read the tables: build them once before timing.
  static const bool built = (Kelp::buildTables(), true);
  benchmark::DoNotOptimize(built);
  const double vx = THROW_SPEED * std::sin(THROW_TH);
  const double vy = THROW_SPEED * std::cos(THROW_TH);
  for (auto _ : state) {
    if (exact) {
      Kelp::ExactSimulator sim;
      sim.loadStone(0.0, Kelp::THROW_Y, vx, vy, THROW_W, 0, true);
      benchmark::DoNotOptimize(sim.runExact(Kelp::SIM_STEP));
      benchmark::DoNotOptimize(sim.position(0));
    } else {
      Kelp::FSStone stone;
      stone.y = Kelp::THROW_Y;
      stone.th = std::atan2(vx, vy);
      stone.v = THROW_SPEED;
      stone.w = THROW_W;
      Kelp::advanceToRest(Kelp::pathIndex(THROW_SPEED), stone);
      benchmark::DoNotOptimize(stone);
    }
  }
}
BENCHMARK_CAPTURE(BM_LoneStone, exact, true);
BENCHMARK_CAPTURE(BM_LoneStone, tables, false);

}  // namespace

BENCHMARK_MAIN();
