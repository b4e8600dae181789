// kelp-strong's player from its options, in one place: the program and the
// Python module build the same player from the same options, so the same
// seed and budget give the same shot in both.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "kelpsimulator/field.h"
#include "player/ai.h"
#include "player/value_model.h"

namespace Kelp {

// The name that selects the model built into the program.
inline constexpr const char* BUILT_IN_MODEL = "built-in";

struct EngineOptions {
  std::string search = "strong";  // strong, faithful or greedy
  int thinkMs = 4600;             // per decision, unless a budget is given
  int threads = 1;                // workers of the strong and greedy searches
  uint64_t samples = 0;     // strong: samples per decision, all workers together (0: the clock)
  uint32_t iterations = 0;  // faithful: iterations per worker (0: the clock)
  std::optional<uint32_t> seed;   // none: a fresh seed per decision
  std::string value = "match";    // strong: match (win chance) or points
  bool commonErrors = false;      // strong: the same error for the j-th sample of every shot
  bool fixedExploration = false;  // strong, by match: UCB constant 0.5, not scaled by the spread
  bool lastStoneReply = false;    // strong: a rollout's last stone is the best plain reply
  uint32_t refineShots = 0;       // strong: shots given variants per decision (0: none)
  // strong: the value model that ends the samples. Empty: none, rollouts
  // (the default: the built-in model has not yet measured stronger than
  // them); BUILT_IN_MODEL: the one built into the program; otherwise a
  // model file.
  std::string modelFile;
  bool noModel = false;        // strong: rollouts to the end of every sample, whatever is built in
  int modelRolloutThrows = 0;  // strong, with a model: rollout throws before the model values
  int rolloutLast = 0;  // strong, with a model: samples leaving this many throws or fewer roll out
};

// The model the options ask for (nullptr: rollouts), read once per process.
// Nothing, with a one-line reason in *error, when the file is missing or
// not a model; a caller checks this before it makes the player.
std::optional<const ValueModel*> engineModel(const EngineOptions& options, std::string* error);

// The player those options describe; the options are taken as checked
// (engineModel among them).
std::shared_ptr<BaseAI<ThinkResult>> makeEnginePlayer(const EngineOptions& options);

// What a player learns from the game record before it thinks: the strong
// search, where it stands in the match. Every caller of Think on a record
// goes through here first (GO, and the Python module).
void prepareDecision(BaseAI<ThinkResult>& player, const ClientField& record);

}  // namespace Kelp
