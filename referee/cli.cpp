#include "referee/cli.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <optional>

#include "kelpsimulator/random.h"
#include "referee/match.h"
#include "referee/outdir.h"
#include "referee/resume.h"
#include "referee/series.h"
#include "referee/series_page.h"
#include "referee/stop.h"

namespace Kelp::Referee {
namespace {

constexpr int USAGE = 2;

// Timeouts: a finite number of seconds, from a millisecond to an hour.
constexpr double MAX_TIMEOUT = 3600.0;
const CLI::Validator SECONDS(
    [](std::string& text) -> std::string {
      std::size_t used = 0;
      double v = 0.0;
      try {
        v = std::stod(text, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != text.size() || !std::isfinite(v) || v < 0.001 || v > MAX_TIMEOUT) {
        return fmt::format("{} is not a number of seconds from 0.001 to {}", text, MAX_TIMEOUT);
      }
      return "";
    },
    "SECONDS");

// The default folder's name, from the local date and time (claimFresh adds
// a suffix when a run started in the same second took it).
std::string defaultOutDir(const char* kind) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", &local);
  return kind + std::string(stamp);
}

// The exit status of a run that a signal stopped.
int interruptedStatus() {
  return stopSignal() > 0 ? 128 + stopSignal() : 1;
}

std::string engineName(const std::vector<std::string>& words) {
  return std::filesystem::path(words.at(0)).filename().string();
}

// Plays the series (what is left of it, when resumed: `played` holds the
// games it kept), prints its progress and summary, writes series.json and
// series.html. Every finished game goes to games.jsonl as it finishes, and
// series.html is rewritten after every counted game. Exit
// status 0 when every game was clean, 1 otherwise, 128 + the signal when one
// stopped it.
int runSeries(const SeriesConfig& config, const std::vector<GameResult>& played,
              const SeriesRunner& runner, std::ostream& out, std::ostream& err) {
  GameJournal journal(config.match.outDir);
  Series series(config, &out);
  series.onFinished([&](const GameResult& g) {
    if (!journal.append(g))
      err << "kelp-referee: cannot add game " << g.number << " to games.jsonl\n";
  });
  bool pageFailed = false;
  series.onCounted([&](const SeriesResult& sofar) {
    if (!writeSeriesPage(config, sofar, false) && !pageFailed) {
      pageFailed = true;  // said once; the series goes on
      err << "kelp-referee: cannot write " << config.match.outDir << "/series.html\n";
    }
  });
  // The page is there from the start (a resumed series has just rewritten it).
  if (played.empty()) writeSeriesPage(config, series.result(), false);
  series.resumeFrom(played);
  const SeriesResult result = runner ? runner(series, config) : series.run();
  out << "\n" << seriesSummary(config, result);
  const std::string dir = config.match.outDir;
  const bool json =
      writeFileAtomically(dir + "/" + SERIES_FILE, seriesJson(config, result).dump(2) + "\n");
  const bool page = writeSeriesPage(config, result, true);
  if (!json || !page) {
    err << "kelp-referee: cannot write to " << dir << "\n";
    return 1;
  }
  out << fmt::format(
      "seed {} (replay with --seed {}); results {}/series.json, page {}/series.html\n", config.seed,
      config.seed, dir, dir);
  if (!result.error.empty()) err << "kelp-referee: " << result.error << "\n";
  if (result.interrupted) return interruptedStatus();
  return result.error.empty() && result.forfeitedGames == 0 ? 0 : 1;
}

}  // namespace

int refereeMain(int argc, char** argv, std::ostream& out, std::ostream& err,
                const SeriesRunner& runner) {
  CLI::App app{
      "Plays a match between two engines that speak the kelp protocol, throwing their shots on "
      "the exact physics with execution error, and writes a game record and pictures of the "
      "sheet; with --games, plays a series and estimates the Elo difference.",
      "kelp-referee"};
  std::string commandA;
  std::string commandB;
  int ends = 1;
  int64_t seed = -1;
  double timeout = 10.0;
  double readyTimeout = 30.0;
  std::string outDir;
  int throws = -1;
  bool noPictures = false;
  int games = 0;
  int concurrency = 1;
  std::vector<double> sprtElo;
  double alpha = 0.05;
  double beta = 0.05;
  std::string resumeDir;
  // Required unless --resume (checked after parsing).
  app.add_option("CMD_A", commandA, "engine A, throws first in end 0 (a shell-style command)");
  app.add_option("CMD_B", commandB, "engine B (a shell-style command)");
  app.add_option("--ends", ends, "number of ends")->check(CLI::Range(1, 16))->capture_default_str();
  app.add_option("--seed", seed, "seed of the execution error (default: from the clock)")
      ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}));
  app.add_option("--timeout", timeout, "seconds an engine may take per reply")
      ->check(SECONDS)
      ->capture_default_str();
  app.add_option("--ready-timeout", readyTimeout, "seconds an engine may take to get ready")
      ->check(SECONDS)
      ->capture_default_str();
  app.add_option("--out", outDir, "output folder (default: a new folder named by date and time)");
  app.add_option("--throws", throws, "stop after this many throws and score the end as it lies")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--no-pictures", noPictures, "write no SVG pictures");
  auto* gamesOpt =
      app.add_option("--games", games,
                     "play a series of N games in pairs that share a seed, the order of play "
                     "swapped in the second game of a pair, and estimate the Elo of A over B")
          ->check(CLI::Range(1, 100000));
  app.add_option("--concurrency", concurrency,
                 "games of a series played at the same time; more than the number of cores "
                 "halves each engine's search")
      ->check(CLI::Range(1, 64))
      ->capture_default_str()
      ->needs(gamesOpt);
  auto* sprtOpt = app.add_option("--sprt", sprtElo,
                                 "stop the series when a sequential probability ratio test "
                                 "decides between H0: Elo = ELO0 and H1: Elo = ELO1")
                      ->expected(2)
                      ->type_name("ELO0 ELO1")
                      ->needs(gamesOpt);
  app.add_option("--alpha", alpha, "SPRT: chance of accepting H1 when H0 holds")
      ->capture_default_str()
      ->needs(sprtOpt);
  app.add_option("--beta", beta, "SPRT: chance of accepting H0 when H1 holds")
      ->capture_default_str()
      ->needs(sprtOpt);

  auto* resumeOpt = app.add_option("--resume", resumeDir,
                                   "continue the series in folder DIR where it stopped, with "
                                   "the settings it was started with (no other option)")
                        ->type_name("DIR");
  for (CLI::Option* o : app.get_options()) {
    if (o != resumeOpt && o != app.get_help_ptr()) resumeOpt->excludes(o);
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "kelp-referee: " << e.what() << "\n\n" << app.help();
    return USAGE;
  }

  if (!resumeDir.empty()) {
    // Resuming takes the folder as it is, but never one a running referee
    // holds: claimed before anything in it is read or cleared.
    std::string why;
    const std::unique_ptr<OutputFolder> folder =
        OutputFolder::claim(resumeDir, OutputFolder::Mode::Resume, why);
    if (!folder) {
      err << "kelp-referee: " << why << "\n";
      return USAGE;
    }
    ResumedSeries resumed = resumeSeries(resumeDir);
    if (!resumed.error.empty()) {
      err << "kelp-referee: " << resumed.error << "\n";
      return USAGE;
    }
    const SeriesConfig& c = resumed.config;
    installStopHandlers();
    out << fmt::format(
               "kelp-referee: resuming the series in {}: {} of {} games kept, A = {}, B = {}, "
               "concurrency {}, seed {}\n",
               c.match.outDir, resumed.played.size(), c.games, fmt::join(c.match.commands[0], " "),
               fmt::join(c.match.commands[1], " "), c.concurrency, c.seed)
        << std::flush;
    return runSeries(c, resumed.played, runner, out, err);
  }
  if (commandA.empty() || commandB.empty()) {
    err << "kelp-referee: CMD_A and CMD_B are required\n\n" << app.help();
    return USAGE;
  }

  std::optional<SprtSettings> sprtSettings;
  if (!sprtElo.empty()) {
    sprtSettings = SprtSettings{sprtElo.at(0), sprtElo.at(1), alpha, beta};
    if (auto why = sprtSettingsError(*sprtSettings)) {
      err << "kelp-referee: " << *why << "\n\n" << app.help();
      return USAGE;
    }
  }

  MatchConfig config;
  const std::string* commands[2] = {&commandA, &commandB};
  for (int side = 0; side < 2; ++side) {
    auto words = splitCommand(*commands[side]);
    if (!words) {
      err << "kelp-referee: cannot read the command of engine " << SIDE_NAME[side] << ": "
          << *commands[side] << "\n\n"
          << app.help();
      return USAGE;
    }
    config.commands[side] = *words;
    config.names[side] = engineName(*words);
  }
  config.ends = ends;
  config.seed = seed >= 0 ? static_cast<uint32_t>(seed) : timeSeed();
  config.timeout = timeout;
  config.readyTimeout = readyTimeout;
  // The folder is this run's alone: created here, never one with results
  // in it, never one another referee holds.
  std::string why;
  const std::unique_ptr<OutputFolder> folder =
      outDir.empty() ? OutputFolder::claimFresh(defaultOutDir(games > 0 ? "series" : "match"), why)
                     : OutputFolder::claim(outDir, OutputFolder::Mode::New, why);
  if (!folder) {
    err << "kelp-referee: " << why << "\n";
    return USAGE;
  }
  config.outDir = folder->path();
  installStopHandlers();
  config.maxThrows = throws;
  config.pictures = !noPictures;

  if (games > 0) {
    SeriesConfig series;
    series.match = config;
    series.games = games;
    series.concurrency = concurrency;
    series.seed = config.seed;
    series.sprt = sprtSettings;
    out << fmt::format(
               "kelp-referee: series of {} games, A = {}, B = {}, {} end{} each, concurrency {}, "
               "seed {}, output {}\n",
               games, commandA, commandB, ends, ends == 1 ? "" : "s", concurrency, config.seed,
               config.outDir)
        << std::flush;
    if (!startSeriesFolder(series, why)) {
      err << "kelp-referee: " << why << "\n";
      return 1;
    }
    return runSeries(series, {}, runner, out, err);
  }

  out << fmt::format("kelp-referee: A = {}, B = {}, {} end{}, seed {}, output {}\n", commandA,
                     commandB, ends, ends == 1 ? "" : "s", config.seed, config.outDir)
      << std::flush;
  Match match(config, &out);
  const MatchResult result = match.run();
  if (result.interrupted) {
    err << "kelp-referee: interrupted; record " << config.outDir << "/record.jsonl, page "
        << config.outDir << "/match.html\n";
    return interruptedStatus();
  }
  if (!result.error.empty()) {
    err << "kelp-referee: " << result.error << "\n";
    return 1;
  }
  out << fmt::format(
      "seed {} (replay with --seed {}); record {}/record.jsonl, page {}/match.html\n", config.seed,
      config.seed, config.outDir, config.outDir);
  return exitStatus(result);
}

}  // namespace Kelp::Referee
