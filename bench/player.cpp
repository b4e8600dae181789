// Search-side benchmarks: candidate generation, playouts, one UCT worker and
// a whole four-worker decision. Fixed seeds and counts; the time-limited ones
// report their iterations (or Count) per second as items_per_second. The
// counting allocator shows what the playouts and iterations allocate.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "bench/alloc_counter.h"
#include "kelpsimulator/trajectory.h"
#include "player/MonteCarlo.h"
#include "player/ai.h"
#include "tests/support/boards.h"

namespace {

CurlingGameState emptyEnd() {
  return CurlingGameState();
}
CurlingGameState midEnd() {
  return CurlingGameState(Kelp::boards::midEnd6());
}
// Eight stones each, every one of them giving candidates.
CurlingGameState crowded() {
  return CurlingGameState(Kelp::boards::crowded(0, 8, 8));
}

void BM_Candidates(benchmark::State& state, CurlingGameState (*make)()) {
  const CurlingGameState s = make();
  std::vector<Tree> scratch;
  scratch.reserve(SCRATCH_CAPACITY);
  size_t n = 0;
  for (auto _ : state) {
    s.getCandidates(scratch);
    benchmark::DoNotOptimize(scratch.data());
    n = scratch.size();
    scratch.clear();
  }
  state.counters["candidates"] = static_cast<double>(n);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_Candidates, empty, emptyEnd);
BENCHMARK_CAPTURE(BM_Candidates, crowded, crowded);

void BM_Playout(benchmark::State& state, CurlingGameState (*make)()) {
  const CurlingGameState s = make();
  Kelp::DsfmtEngine engine(1);
  Playout(s, Kelp::DsfmtEngine(0));  // the fixed candidates are made on first use
  const long before = allocations.load();
  const long beforeMalloc = mallocs.load();
  for (auto _ : state) {
    const CurlingGameState end = Playout(s, engine);
    benchmark::DoNotOptimize(end.end_score_now);
    engine.next32();
  }
  // operator new, and malloc (the exact model's rare hand-over uses Box2D);
  // read before the counters themselves allocate.
  const long made = allocations.load() - before;
  const long madeMalloc = mallocs.load() - beforeMalloc;
  state.SetItemsProcessed(state.iterations());
  state.counters["allocs_per_playout"] =
      benchmark::Counter(static_cast<double>(made), benchmark::Counter::kAvgIterations);
  state.counters["mallocs_per_playout"] =
      benchmark::Counter(static_cast<double>(madeMalloc), benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(BM_Playout, empty, emptyEnd);

// The playout loop with its two parts timed apart: choosing the candidate
// (its count, the draw and its shot vector) and shot execution (the physics).
void BM_PlayoutShare(benchmark::State& state) {
  const CurlingGameState start = emptyEnd();
  Kelp::DsfmtEngine engine(1);
  using Clock = std::chrono::steady_clock;
  Clock::duration candidates{}, physics{};
  for (auto _ : state) {
    CurlingGameState s = start;
    while (!s.IsFinalState()) {
      const auto t0 = Clock::now();
      const CandidatePicker picker(s);
      const Kelp::ShotVector shot = picker.shot(engine.index(picker.count()));
      const auto t1 = Clock::now();
      s.executeShot(shot, engine);
      const auto t2 = Clock::now();
      candidates += t1 - t0;
      physics += t2 - t1;
    }
  }
  const double total = std::chrono::duration<double>(candidates + physics).count();
  state.counters["candidates_share"] = std::chrono::duration<double>(candidates).count() / total;
  state.counters["physics_share"] = std::chrono::duration<double>(physics).count() / total;
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlayoutShare);

// Nodes of the tree that have been expanded (the root included).
int64_t expandedNodes(const Tree& t) {
  if (t.children.empty()) return 0;
  int64_t n = 1;
  for (const Tree& c : t.children) n += expandedNodes(c);
  return n;
}

// One UCT worker for 300 ms on one thread. An expansion allocates its node's
// children, once; nothing else in an iteration should allocate (the search
// itself makes its scratch vector once).
void BM_UctWorker(benchmark::State& state, CurlingGameState (*make)()) {
  const CurlingGameState s = make();
  const UCTAlgorithm uct{SearchParameters{300, 1, 0.25}};
  int64_t iterations = 0;
  int64_t expansions = 0;
  long made = 0;
  long madeMalloc = 0;
  for (auto _ : state) {
    Tree root;
    s.getCandidates(root.children);
    const long before = allocations.load();
    const long beforeMalloc = mallocs.load();
    Tree result = uct.SearchSeeded(s, std::move(root), 77);
    made += allocations.load() - before;
    madeMalloc += mallocs.load() - beforeMalloc;
    iterations += result.move.uct_state.playouts;
    expansions += expandedNodes(result) - 1;
  }
  state.SetItemsProcessed(iterations);
  const auto perIteration = [&](int64_t n) {
    return static_cast<double>(n) / static_cast<double>(iterations);
  };
  state.counters["expansions_per_iteration"] = perIteration(expansions);
  state.counters["allocs_per_iteration"] = perIteration(made);
  state.counters["allocs_besides_expansions"] = perIteration(made - expansions);
  state.counters["mallocs_per_iteration"] = perIteration(madeMalloc);
}
BENCHMARK_CAPTURE(BM_UctWorker, empty, emptyEnd)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_UctWorker, midend, midEnd)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A whole decision: four workers for 500 ms; items are the Count.
void BM_Think(benchmark::State& state, CurlingGameState (*make)()) {
  const CurlingGameState s = make();
  Pebble_original player(500, 0.25);
  int64_t count = 0;
  for (auto _ : state) {
    const ThinkResult r = player.Think(s);
    count += std::get<1>(r);
  }
  state.SetItemsProcessed(count);
}
BENCHMARK_CAPTURE(BM_Think, empty, emptyEnd)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Think, midend, midEnd)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  Kelp::buildTables();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
