// One throw with execution error, through the fast path (executeShot) and
// through the exact Box2D model from the release point (step 0.01), on three
// positions. A counting global operator new shows the allocations per throw;
// counting malloc as well catches C code (Box2D allocates through malloc).
#include <benchmark/benchmark.h>

#include "bench/alloc_counter.h"
#include "kelpsimulator/exact.h"
#include "kelpsimulator/shot.h"
#include "bench/agreement.h"
#include "tests/support/boards.h"

namespace {

using namespace Kelp;

enum class Position { Empty, MidEnd, Contact };

struct Setup {
  ThinkBoard board;
  ShotVector shot;
};

Setup setupFor(Position p) {
  static const bool built = (buildTables(), true);
  benchmark::DoNotOptimize(built);
  switch (p) {
    case Position::Empty: {
      const Velocity v = shotForTarget(0.0, 0.0, 0);
      return {ThinkBoard(), {v.vx, v.vy, 0}};
    }
    case Position::MidEnd: {  // a draw into the house past the guards
      const Velocity v = shotForTarget(-0.5, 0.4, 1);
      return {boards::midEnd7(), {v.vx, v.vy, 1}};
    }
    case Position::Contact:  // a take-out of the WHITE shot stone
    default:
      return {boards::midEnd7(), agreement::aimThrough(-0.2, -0.1, 5.0, 0)};
  }
}

void countAllocations(benchmark::State& state, long before, long beforeMalloc) {
  state.counters["allocs_per_throw"] = benchmark::Counter(
      static_cast<double>(allocations.load() - before), benchmark::Counter::kAvgIterations);
  state.counters["mallocs_per_throw"] = benchmark::Counter(
      static_cast<double>(mallocs.load() - beforeMalloc), benchmark::Counter::kAvgIterations);
}

void BM_FastShot(benchmark::State& state, Position p) {
  const Setup s = setupFor(p);
  DsfmtEngine engine(20240601);
  long contacts = 0;
  const long before = allocations.load();
  const long beforeMalloc = mallocs.load();
  for (auto _ : state) {
    ThinkBoard b = s.board;
    contacts += executeShot(b, s.shot, engine) == SHOT_REBUILT;
    benchmark::DoNotOptimize(b);
  }
  countAllocations(state, before, beforeMalloc);
  state.counters["contact_share"] =
      benchmark::Counter(static_cast<double>(contacts), benchmark::Counter::kAvgIterations);
}

void BM_ExactShot(benchmark::State& state, Position p) {
  const Setup s = setupFor(p);
  DsfmtEngine engine(20240601);
  const long before = allocations.load();
  const long beforeMalloc = mallocs.load();
  for (auto _ : state) {
    const Velocity e = executionError(engine);
    ThinkBoard b = s.board;
    benchmark::DoNotOptimize(
        throwExact(b, {s.shot.vx + e.vx, s.shot.vy + e.vy, s.shot.spin}, SIM_STEP));
    benchmark::DoNotOptimize(b);
  }
  countAllocations(state, before, beforeMalloc);
}

BENCHMARK_CAPTURE(BM_FastShot, empty, Position::Empty);
BENCHMARK_CAPTURE(BM_FastShot, midend, Position::MidEnd);
BENCHMARK_CAPTURE(BM_FastShot, contact, Position::Contact);
BENCHMARK_CAPTURE(BM_ExactShot, empty, Position::Empty)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactShot, midend, Position::MidEnd)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactShot, contact, Position::Contact)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
