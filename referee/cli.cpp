#include "referee/cli.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "kelpsimulator/random.h"
#include "referee/match.h"

namespace Kelp::Referee {
namespace {

constexpr int USAGE = 2;

// A new folder named by the local date and time, with a suffix when a match
// started in the same second already took the name.
std::string defaultOutDir() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "match-%Y%m%d-%H%M%S", &local);
  std::string dir = stamp;
  for (int n = 2; std::filesystem::exists(dir); ++n) dir = fmt::format("{}-{}", stamp, n);
  return dir;
}

std::string engineName(const std::vector<std::string>& words) {
  return std::filesystem::path(words.at(0)).filename().string();
}

}  // namespace

int refereeMain(int argc, char** argv, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Plays a match between two engines that speak the kelp protocol, throwing their shots on "
      "the exact physics with execution error, and writes a game record and pictures of the "
      "sheet.",
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
  app.add_option("CMD_A", commandA, "engine A, throws first in end 0 (a shell-style command)")
      ->required();
  app.add_option("CMD_B", commandB, "engine B (a shell-style command)")->required();
  app.add_option("--ends", ends, "number of ends")->check(CLI::Range(1, 16))->capture_default_str();
  app.add_option("--seed", seed, "seed of the execution error (default: from the clock)")
      ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}));
  app.add_option("--timeout", timeout, "seconds an engine may take per reply")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--ready-timeout", readyTimeout, "seconds an engine may take to get ready")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--out", outDir, "output folder (default: a new folder named by date and time)");
  app.add_option("--throws", throws, "stop after this many throws and score the end as it lies")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--no-pictures", noPictures, "write no SVG pictures");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "kelp-referee: " << e.what() << "\n\n" << app.help();
    return USAGE;
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
  config.outDir = outDir.empty() ? defaultOutDir() : outDir;
  config.maxThrows = throws;
  config.pictures = !noPictures;

  out << fmt::format("kelp-referee: A = {}, B = {}, {} end{}, seed {}, output {}\n", commandA,
                     commandB, ends, ends == 1 ? "" : "s", config.seed, config.outDir)
      << std::flush;
  Match match(config, &out);
  const MatchResult result = match.run();
  if (!result.error.empty()) {
    err << "kelp-referee: " << result.error << "\n";
    return 1;
  }
  out << fmt::format("seed {} (replay with --seed {}); record {}/record.jsonl\n", config.seed,
                     config.seed, config.outDir);
  return exitStatus(result);
}

}  // namespace Kelp::Referee
