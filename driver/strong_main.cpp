// kelp-strong: the same player process as kelp, over the same protocol, with
// a stronger search. With no arguments it thinks 4.6 s per GO, so a match
// server runs it exactly as it runs kelp; the options exist for experiments
// and match series.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "driver/command.h"
#include "driver/command_table.h"
#include "driver/game_commands.h"
#include "driver/io.h"
#include "kelpsimulator/field.h"
#include "kelpsimulator/trajectory.h"
#include "player/greedy.h"
#include "player/strong.h"

namespace {

constexpr int USAGE = 2;
constexpr int DEFAULT_THINK_MS = 4600;
constexpr double FAITHFUL_EXPLORATION = 0.25;

}  // namespace

int main(int argc, char** argv) {
  int thinkMs = DEFAULT_THINK_MS;
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::string search = "strong";

  CLI::App app{"kelp-strong: a curling player for a match server, over standard input and output"};
  app.add_option("--think-ms", thinkMs, "milliseconds of search per GO")
      ->check(CLI::Range(0, 600000))
      ->capture_default_str();
  app.add_option("--threads", threads,
                 "search workers of the strong and greedy searches (default: the machine's cores)")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  app.add_option("--search", search,
                 "strong (default); faithful: kelp's own UCT search (four workers); greedy: each "
                 "candidate thrown once without error on the exact model, best end score kept")
      ->check(CLI::IsMember({"strong", "faithful", "greedy"}))
      ->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << "kelp-strong: " << e.what() << "\n\n" << app.help();
    return USAGE;
  }

  if (search == "faithful") {
    Kelp::ActivePlayer() = std::make_shared<Pebble_original>(thinkMs, FAITHFUL_EXPLORATION);
  } else if (search == "greedy") {
    Kelp::ActivePlayer() = std::make_shared<GreedyPlayer>(threads);
  } else {
    StrongParameters params;
    params.time_limit = thinkMs;
    params.threads = threads;
    Kelp::ActivePlayer() = std::make_shared<StrongPlayer>(params);
  }

  // From here on exactly as kelp.
  Kelp::ignoreBrokenPipe();
  Kelp::ClientField field;
  Kelp::buildTables();
  return Kelp::runCommandLoop(Kelp::COMMAND_TABLE, field);
}
