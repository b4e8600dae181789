// Time from process start to the first message being read: kelp builds its
// trajectory tables before its first read, so a run with an input that is
// already at its end measures start-up, the table build and the first read.
#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "referee/spawn.h"

namespace {

// kelp sits in the build root, one level above bench/.
std::string kelpPath() {
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "kelp").string();
}

void BM_Startup(benchmark::State& state) {
  const std::string path = kelpPath();
  if (!std::filesystem::exists(path)) {
    state.SkipWithError("kelp is not built next to the benchmarks");
    return;
  }
  for (auto _ : state) {
    Kelp::Referee::SpawnOptions options;
    options.pipes = false;
    std::string error;
    const auto child = Kelp::Referee::spawnProcess({path}, options, error);
    if (!child) {
      state.SkipWithError(error.c_str());
      return;
    }
    int status = 0;
    waitpid(child->pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("kelp did not exit cleanly at end of input");
      return;
    }
  }
}
// Five process starts, median reported.
BENCHMARK(BM_Startup)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
