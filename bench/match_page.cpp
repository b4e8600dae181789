// The cost of match.html, which the referee rewrites after every throw: the
// page of a 10-end match (160 throws, every stone path sampled as a match
// samples it) built, and built and written whole, once per iteration.
// Reports the page's size.
#include "referee/match_page.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "referee/match.h"

namespace {

using namespace Kelp::Referee;
using Kelp::ShotVector;

struct TenEnds {
  MatchConfig config;
  MatchResult result;
  std::unique_ptr<MatchPage> page;
};

// Draws and takeouts around the house, so that stones collide and several
// move in a throw, as in a real end.
const TenEnds& tenEnds() {
  static const TenEnds built = [] {
    TenEnds t;
    t.config.ends = 10;
    t.config.names = {"kelp-strong", "kelp"};
    t.config.commands = {std::vector<std::string>{"./kelp-strong"},
                         std::vector<std::string>{"./kelp"}};
    t.page = std::make_unique<MatchPage>(t.config);
    for (int end = 0; end < 10; ++end) {
      Sheet sheet;
      for (int shot = 0; shot < SHOTS_PER_END; ++shot) {
        const double aim = 0.02 * ((shot * 7 + end * 3) % 11 - 5);
        const ShotVector v{aim, 31.2 + 0.15 * (shot % 4), shot % 2};
        const ThrowResult r = throwStone(sheet, shot, v, protectedStones(sheet, shot));
        sheet = r.after;
        ThrowRecord rec;
        rec.end = end;
        rec.shot = shot;
        rec.side = shot % 2;
        rec.reply = "BESTSHOT 0.123456 -31.234567 1";
        rec.thrown = v;
        rec.after = sheet;
        if (shot == SHOTS_PER_END - 1) rec.endScore = scoreEnd(sheet, 0);
        t.page->add(rec, 4.6, &r.paths);
      }
    }
    return t;
  }();
  return built;
}

void BM_MatchPageHtml(benchmark::State& state) {
  const TenEnds& t = tenEnds();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string html = t.page->html(t.result, MatchState::Playing);
    bytes = html.size();
    benchmark::DoNotOptimize(html.data());
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_MatchPageHtml)->Unit(benchmark::kMillisecond);

void BM_MatchPageWrite(benchmark::State& state) {
  const TenEnds& t = tenEnds();
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("kelp-bench-page-" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(dir);
  for (auto _ : state) {
    if (!t.page->write(dir, t.result, MatchState::Playing)) state.SkipWithError("cannot write");
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_MatchPageWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
