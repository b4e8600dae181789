// kelp-strong: the same player process as kelp, over the same protocol, with
// a stronger search. With no arguments it thinks 4.6 s per GO, so a match
// server runs it exactly as it runs kelp; the options exist for experiments
// and match series.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "driver/command.h"
#include "driver/command_table.h"
#include "driver/engine_options.h"
#include "driver/game_commands.h"
#include "driver/io.h"
#include "driver/program_options.h"
#include "driver/strong_bench.h"
#include "kelpsimulator/field.h"
#include "kelpsimulator/trajectory.h"

namespace {

constexpr int USAGE = 2;
constexpr int DEFAULT_THINK_MS = 4600;
constexpr uint64_t MAX_BUDGET = 1'000'000'000;
// The bench's fixed settings: a few seconds on two cores.
constexpr int BENCH_THREADS = 2;
constexpr int64_t BENCH_SEED = 1;
constexpr uint64_t BENCH_SAMPLES = 1000;
constexpr uint32_t BENCH_ITERATIONS = 100;

}  // namespace

int main(int argc, char** argv) {
  int thinkMs = DEFAULT_THINK_MS;
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::string search = "strong";
  std::string value = "match";
  bool commonErrors = false;
  bool fixedExploration = false;
  bool lastStoneReply = false;
  uint32_t refineShots = 0;
  uint64_t samples = 0;
  uint32_t iterations = 0;
  int64_t seed = -1;
  bool bench = false;
  Kelp::EngineOptions options;

  CLI::App app{"kelp-strong: a curling player for a match server, over standard input and output"};
  CLI::Option* thinkOpt = app.add_option("--think-ms", thinkMs, "milliseconds of search per GO")
                              ->check(CLI::Range(0, 600000))
                              ->capture_default_str();
  CLI::Option* threadsOpt =
      app.add_option("--threads", threads,
                     "search workers of the strong and greedy searches (default: the machine's "
                     "cores; with --bench: 2)")
          ->check(CLI::Range(1, 256))
          ->capture_default_str();
  app.add_option("--search", search,
                 "strong (default); faithful: kelp's own UCT search (four workers); greedy: each "
                 "candidate thrown once without error on the exact model, best end score kept")
      ->check(CLI::IsMember({"strong", "faithful", "greedy"}))
      ->capture_default_str();
  CLI::Option* valueOpt =
      app.add_option(
             "--value", value,
             "strong search: match (default): a sampled end is worth the chance to win the "
             "match after it; points: the end's points (the sign alone in a level last end)")
          ->check(CLI::IsMember({"match", "points"}))
          ->capture_default_str();
  CLI::Option* crnOpt = app.add_flag(
      "--common-errors", commonErrors,
      "strong search: the j-th sample of every candidate draws the same execution error");
  CLI::Option* fixedOpt = app.add_flag(
      "--fixed-exploration", fixedExploration,
      "strong search by match, for experiments: UCB constant 0.5 on win chances instead of 0.7 "
      "times their spread");
  CLI::Option* replyOpt = app.add_flag(
      "--last-stone-reply", lastStoneReply,
      "strong search: a rollout's last stone is the best of a few draws and take-outs thrown "
      "without error, not the heuristic shot");
  CLI::Option* refineOpt =
      app.add_option("--refine", refineShots,
                     "strong search: the best N shots of a decision also get four variants each, "
                     "their line and speed changed slightly (0: none)")
          ->check(CLI::Range(0, 64))
          ->capture_default_str();
  CLI::Option* samplesOpt =
      app.add_option("--samples", samples,
                     "strong search: stop after this many samples per GO, all workers together, "
                     "instead of after --think-ms")
          ->check(CLI::Range(uint64_t{1}, MAX_BUDGET));
  CLI::Option* iterationsOpt =
      app.add_option("--iterations", iterations,
                     "faithful search: each worker stops after this many iterations, instead of "
                     "after --think-ms")
          ->check(CLI::Range(uint32_t{1}, static_cast<uint32_t>(MAX_BUDGET)));
  CLI::Option* seedOpt =
      app.add_option("--seed", seed,
                     "seed of every decision, mixed with the position (default: a fresh seed per "
                     "GO from the clock); with a budget, a decision is then the same on any "
                     "machine under any load")
          ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}));
  const Kelp::ModelOptions modelOpts = Kelp::addModelOptions(
      app, options,
      {"strong search: value the positions its samples stop at by this model file, or by the "
       "program's own with 'built-in' (default: no model, rollouts to the end)",
       "strong search: finish every sample's end by rollouts, without a model (the default)",
       "strong search with a model: rollout throws after the sampled shot before the model "
       "values the position",
       "strong search with a model: a sample whose shot leaves at most this many throws in the "
       "end is rolled out to the end, not valued by the model"});
  modelOpts.rolloutThrows->capture_default_str()->excludes(modelOpts.noModel);
  modelOpts.rolloutLast->capture_default_str()->excludes(modelOpts.noModel);
  app.add_flag("--bench", bench,
               "decide a fixed set of positions with a fixed budget and seed (unless given), "
               "print the shots, the total samples and a signature, and exit")
      ->excludes(thinkOpt);
  samplesOpt->excludes(thinkOpt)->excludes(iterationsOpt);
  iterationsOpt->excludes(thinkOpt);
  if (const std::optional<int> exit = Kelp::parseCommandLine(app, argc, argv, "kelp-strong", USAGE))
    return *exit;

  // A budget belongs to one search: say so rather than ignore it.
  if (samplesOpt->count() != 0 && search != "strong") {
    std::cerr << "kelp-strong: --samples is the strong search's budget (--search strong)\n";
    return USAGE;
  }
  if ((valueOpt->count() != 0 || crnOpt->count() != 0 || fixedOpt->count() != 0 ||
       replyOpt->count() != 0 || refineOpt->count() != 0) &&
      search != "strong") {
    std::cerr << "kelp-strong: --value, --common-errors, --fixed-exploration, "
                 "--last-stone-reply and --refine are the strong search's (--search strong)\n";
    return USAGE;
  }
  if ((modelOpts.model->count() != 0 || modelOpts.noModel->count() != 0 ||
       modelOpts.rolloutThrows->count() != 0) &&
      search != "strong") {
    std::cerr << "kelp-strong: --model, --no-model and --model-rollout-throws are the strong "
                 "search's (--search strong)\n";
    return USAGE;
  }
  if (iterationsOpt->count() != 0 && search != "faithful") {
    std::cerr << "kelp-strong: --iterations is the faithful search's budget (--search faithful)\n";
    return USAGE;
  }
  if (bench) {
    // Fixed unless given, so that the signature means the same everywhere.
    if (threadsOpt->count() == 0) threads = BENCH_THREADS;
    if (seedOpt->count() == 0) seed = BENCH_SEED;
    if (search == "strong" && samples == 0) samples = BENCH_SAMPLES;
    if (search == "faithful" && iterations == 0) iterations = BENCH_ITERATIONS;
  }
  options.search = search;
  options.thinkMs = thinkMs;
  options.threads = threads;
  options.samples = samples;
  options.iterations = iterations;
  if (seed >= 0) options.seed = static_cast<uint32_t>(seed);
  options.value = value;
  options.commonErrors = commonErrors;
  options.fixedExploration = fixedExploration;
  options.lastStoneReply = lastStoneReply;
  options.refineShots = refineShots;
  // A model that cannot be read stops the program before it says anything
  // on the protocol.
  std::string problem;
  const std::optional<const ValueModel*> model = Kelp::engineModel(options, &problem);
  if (!model) {
    std::cerr << "kelp-strong: " << problem << "\n";
    return USAGE;
  }
  Kelp::ActivePlayer() = Kelp::makeEnginePlayer(options);

  if (bench) {
    Kelp::buildTables();
    std::cout << "bench: " << Kelp::benchPositions() << " positions, search " << search;
    if (search == "strong") {
      std::cout << ", " << samples << " samples, " << threads << " threads, value " << value
                << (commonErrors ? ", common errors" : "")
                << (fixedExploration ? ", fixed exploration" : "")
                << (lastStoneReply ? ", last-stone reply" : "");
      if (refineShots != 0) std::cout << ", refine " << refineShots;
      if (*model != nullptr) {
        std::cout << ", model " << options.modelFile;
        if (options.modelRolloutThrows != 0)
          std::cout << " after " << options.modelRolloutThrows << " throws";
        if (options.rolloutLast != 0)
          std::cout << ", rollouts in the last " << options.rolloutLast << " throws";
      }
    }
    if (search == "faithful") std::cout << ", " << iterations << " iterations per worker";
    if (search != "greedy") std::cout << ", seed " << seed;  // greedy draws nothing
    std::cout << "\n";
    Kelp::runBench(*Kelp::ActivePlayer(), std::cout);
    return 0;
  }

  // From here on exactly as kelp.
  Kelp::ignoreBrokenPipe();
  Kelp::ClientField field;
  Kelp::buildTables();
  // Before each GO the player learns from the record where it stands in
  // the match; the rest of GO is kelp's.
  Kelp::CommandTable commands = Kelp::COMMAND_TABLE;
  commands["GO"] = [](const std::vector<std::string>& words, Kelp::ClientField& f) {
    Kelp::prepareDecision(*Kelp::ActivePlayer(), f);
    return Kelp::goCommand(words, f);
  };
  return Kelp::runCommandLoop(commands, field);
}
