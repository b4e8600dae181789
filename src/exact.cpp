#include "kelpsimulator/exact.h"

#include "kelpsimulator/check.h"
#include "kelpsimulator/primitive.h"

namespace Kelp {

bool settleExact(ExactSimulator& sim, ThinkBoard& board, double dt, StepObserver* observer) {
  sim.runExact(dt, observer);
  // The run only ends with stones still moving when a protected stone left
  // play: a foul, so the board stays as it was.
  if (sim.endedOnFoul()) return false;
  board.in_house[0] = board.in_house[1] = 0;
  board.count[0] = board.count[1] = 0;
  for (int i = 0; i < sim.size(); ++i) {
    KELP_CHECK_TEXT(sim.body[i] != nullptr, "sim.body[i] != nullptr");
    const b2Vec2 p = sim.position(i);
    const double x = p.x;
    const double y = p.y;
    if (isInPlayArea(x, y)) board.setStone(static_cast<int>(sim.tagOf(i) & STONE_COLOR_BIT), x, y);
  }
  return true;
}

void loadThrow(ExactSimulator& sim, const ThinkBoard& board, const ShotVector& shot,
               uint32_t thrownTag) {
  sim.loadStone(FX_TEE, THROW_Y, shot.vx, shot.vy, curlRate(shot.spin),
                static_cast<uint32_t>(board.getTurn() % 2) | thrownTag, true);
  for (int c = BLACK; c <= WHITE; ++c) {
    for (int i = 0; i < board.count[c]; ++i) {
      const Stone& st = board.stones[c][i];
      sim.loadStone(st.x, st.y, 0.0, 0.0, 0.0, board.state[c][i], false);
    }
  }
}

bool throwExact(ThinkBoard& board, const ShotVector& shot, double dt, StepObserver* observer) {
  ExactSimulator sim;
  loadThrow(sim, board, shot);
  return settleExact(sim, board, dt, observer);
}

}  // namespace Kelp
