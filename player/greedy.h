// A simple reference opponent: every candidate shot is thrown once, without
// execution error, through the exact model, and the shot after which the end
// would score best for the thrower is chosen. It looks one throw ahead only.
#pragma once

#include "kelpsimulator/shot.h"
#include "player/ai.h"
#include "player/curling.h"

// Time step of the exact throws (s): the step the local referee plays with.
inline constexpr double EXACT_STEP = 0.001;

// The state after throwing shot on s without error through the exact model:
// the stones at rest rebuilt, or s unchanged but for the throw when a
// protected guard left play; afterShot applied.
CurlingGameState exactThrow(const CurlingGameState& s, const Kelp::ShotVector& shot,
                            double dt = EXACT_STEP);

class GreedyPlayer final : public BaseAI<ThinkResult> {
 public:
  explicit GreedyPlayer(int threads);
  bool Init() override;
  ThinkResult Think(CurlingGameState state) override;

  int threads;
  CurlingGameState game_state;  // the position last given to Think
};
