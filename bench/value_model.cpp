// The learned value: one evaluation of an 81-64-64-17 network and the
// features it reads, on one core, with the allocations they make (none).
#include "player/value_model.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "bench/alloc_counter.h"
#include "player/value_features.h"
#include "tests/support/boards.h"

namespace {

void put(std::string& b, uint32_t v) {
  for (int k = 0; k < 4; ++k) b += static_cast<char>(v >> (8 * k));
}

// Random weights of the size kelp-strong's model has; no check cases.
ValueModel network() {
  const uint32_t sizes[] = {81, 64, 64, 17};
  std::mt19937 rng(1);
  std::normal_distribution<float> w(0.0f, 0.15f);
  std::string b = "KELPVAL1";
  put(b, 3);
  for (int l = 0; l < 3; ++l) {
    put(b, sizes[l + 1]);
    put(b, sizes[l]);
    for (uint32_t k = 0; k < sizes[l + 1] * (sizes[l] + 1); ++k) {
      const float v = w(rng);
      uint32_t bits = 0;
      std::memcpy(&bits, &v, 4);
      put(b, bits);
    }
  }
  put(b, 0);
  std::string error;
  const auto* p = reinterpret_cast<const uint8_t*>(b.data());
  return *ValueModel::fromBytes({p, b.size()}, &error);
}

void BM_ValueModelEvaluate(benchmark::State& state) {
  const ValueModel m = network();
  const CurlingGameState s(Kelp::boards::midEnd7());
  float features[VALUE_FEATURES];
  float probs[VALUE_SCORES];
  valueFeatures(s, features);
  const long before = allocations.load();
  for (auto _ : state) {
    m.evaluate(features, probs);
    benchmark::DoNotOptimize(probs);
  }
  const long made = allocations.load() - before;
  state.counters["allocs"] = static_cast<double>(made);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ValueModelEvaluate);

void BM_ValueFeatures(benchmark::State& state) {
  const CurlingGameState s(Kelp::boards::midEnd7());
  float features[VALUE_FEATURES];
  for (auto _ : state) {
    valueFeatures(s, features);
    benchmark::DoNotOptimize(features);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ValueFeatures);

}  // namespace

BENCHMARK_MAIN();
