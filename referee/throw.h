// One throw on the exact physics: the thrown stone released from
// (0, THROW_Y), every other stone at rest, run to rest with ExactSimulator,
// the free-guard-zone foul resolved, and the paths of the moving stones
// sampled for the pictures.
#pragma once

#include <array>
#include <vector>

#include "kelpsimulator/shot.h"
#include "referee/rules.h"

namespace Kelp::Referee {

// Time step of the referee's runs (s): fine, because the referee's result is
// the truth of the match rather than a search estimate.
inline constexpr double REFEREE_STEP = 0.001;

struct PathPoint {
  float x;  // board frame, m
  float y;
  int step;  // the simulation step it was taken after (0: before the first)
};

struct ThrowSettings {
  double dt = REFEREE_STEP;
  bool samplePaths = true;
  int sampleEvery = 20;  // steps between two path samples
};

struct ThrowResult {
  Sheet after;        // the stones at rest after the throw
  bool foul = false;  // a protected guard left play: stones restored, thrown stone removed
  // Per slot, the sampled path of every stone that moved (empty otherwise),
  // from its start to where it stopped or left play; the steps give the
  // times (step * dt), so that a page can move the stones as they moved.
  std::array<std::vector<PathPoint>, SHOTS_PER_END> paths;
};

// Adds an execution error (board frame) to a shot.
inline ShotVector withError(const ShotVector& shot, const Velocity& error) {
  return {shot.vx + error.vx, shot.vy + error.vy, shot.spin};
}

// Throws the stone of slot (board-frame shot, error already added) onto
// before, where slot is not yet in play. Stones flagged in protect are under
// the free-guard-zone rule.
ThrowResult throwStone(const Sheet& before, int slot, const ShotVector& shot,
                       const std::array<bool, SHOTS_PER_END>& protect,
                       const ThrowSettings& settings = {});

}  // namespace Kelp::Referee
