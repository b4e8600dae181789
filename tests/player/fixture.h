// Shared helpers of the player tests: the trajectory tables (every shot
// vector reads them) and positions built from a list of stones.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "kelpsimulator/trajectory.h"
#include "player/MonteCarlo.h"
#include "player/curling.h"
#include "support/tables.h"

struct Placed {
  int col;
  double x, y;  // board frame
};

// turn throws left and the given stones in play, through the update a
// collision uses: setStone for each stone, then afterShot(2).
inline CurlingGameState position(int turn, std::initializer_list<Placed> stones) {
  CurlingGameState s;
  if (turn == Kelp::TURN_FIRST) return s;
  s.turn = turn + 1;
  for (const Placed& p : stones) s.setStone(p.col, p.x, p.y);
  s.afterShot(2);
  return s;
}

inline std::vector<Tree> candidates(const CurlingGameState& s) {
  std::vector<Tree> out;
  s.getCandidates(out);
  return out;
}

inline double speed(const CurlingMoveState& m) {
  return std::hypot(m.vx, m.vy);
}
