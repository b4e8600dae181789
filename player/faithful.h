// kelp's UCT search as kelp-strong runs it for experiments: the same four
// workers, shuffle, merge and choice as Pebble_original, with, on request, a
// fixed number of iterations per worker and a fixed seed per decision.
// Without either it is Pebble_original's search exactly.
#pragma once

#include <optional>

#include "player/ai.h"

class FaithfulPlayer final : public BaseAI<ThinkResult> {
 public:
  // params as Pebble_original's (expand threshold 1), with iterations 0 for
  // the time limit. With a seed, every worker of a decision is seeded with
  // decisionSeed(seed, position): the same seed for all four, as the clock
  // gives kelp's workers the same second.
  FaithfulPlayer(SearchParameters params, std::optional<uint32_t> seed);
  bool Init() override;
  ThinkResult Think(CurlingGameState state) override;

  CurlingGameState game_state;  // the position last given to Think

 private:
  UCTAlgorithm uct_;
  std::optional<uint32_t> seed_;
};
