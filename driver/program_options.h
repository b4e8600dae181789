// The command line of the programs that run kelp-strong's search
// (kelp-strong, kelp-datagen), declared once: the value-model options with
// the same names, ranges and exclusion, read into the same EngineOptions
// (each program words their help for its own use and adds what only it
// needs), and one way to answer --help and a mistake.
#pragma once

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>

#include "driver/engine_options.h"

namespace Kelp {

struct ModelOptionHelp {
  const char* model;
  const char* noModel;
  const char* rolloutThrows;
  const char* rolloutLast;
};

struct ModelOptions {
  CLI::Option* model;
  CLI::Option* noModel;
  CLI::Option* rolloutThrows;
  CLI::Option* rolloutLast;
};

// --model FILE|built-in, --no-model, --model-rollout-throws N and
// --rollout-last N, into options.modelFile, noModel, modelRolloutThrows and
// rolloutLast. A model and no model exclude each other.
inline ModelOptions addModelOptions(CLI::App& app, EngineOptions& options,
                                    const ModelOptionHelp& help) {
  // Neither count reaches past the throws left after the first of an end.
  constexpr int MAX_THROWS = 15;
  ModelOptions o{};
  o.model = app.add_option("--model", options.modelFile, help.model);
  o.noModel = app.add_flag("--no-model", options.noModel, help.noModel);
  o.rolloutThrows =
      app.add_option("--model-rollout-throws", options.modelRolloutThrows, help.rolloutThrows)
          ->check(CLI::Range(0, MAX_THROWS));
  o.rolloutLast = app.add_option("--rollout-last", options.rolloutLast, help.rolloutLast)
                      ->check(CLI::Range(0, MAX_THROWS));
  o.model->excludes(o.noModel);
  return o;
}

// Parses the command line. --help prints the help on standard output (exit
// 0); a mistake is named on standard error, "program: what", with the help
// after it (exit usage). Nothing when the program goes on.
inline std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv,
                                           const char* program, int usage) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << program << ": " << e.what() << "\n\n" << app.help();
    return usage;
  }
  return std::nullopt;
}

}  // namespace Kelp
