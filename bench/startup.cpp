// Time from process start to the first message being read: kelp builds its
// trajectory tables before its first read, so a run with an input that is
// already at its end measures start-up, the table build and the first read.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

extern char** environ;

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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ) != 0) {
      state.SkipWithError("cannot start kelp");
      posix_spawn_file_actions_destroy(&actions);
      return;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
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
