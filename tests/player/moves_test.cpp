// Shot vectors of the candidate moves, checked against the physics they are
// derived for, and the reward of a finished end.
#include <cmath>

#include "fixture.h"
#include "kelpsimulator/shot.h"

namespace {

using Kelp::BLACK;
using Kelp::WHITE;

TEST(ShotVector, SpinsMirrorInXAndTheAimCompensatesTheCurl) {
  const CurlingMoveState s0(0.0f, 0.0f, "TEE2", false, SHOT_DRAW);
  const CurlingMoveState s1(0.0f, 0.0f, "TEE1", true, SHOT_DRAW);
  EXPECT_EQ(s0.spin, 0);
  EXPECT_EQ(s1.spin, 1);
  EXPECT_DOUBLE_EQ(s1.vx, -s0.vx);
  EXPECT_DOUBLE_EQ(s1.vy, s0.vy);
  // Spin 0 curls toward +x, so a stone for the centre line is aimed left.
  EXPECT_LT(s0.vx, -0.1);
  const CurlingMoveState guard(0.0f, -3.5f, "FREE_GUARD4", false, SHOT_DRAW);
  EXPECT_LT(guard.vx, -0.1);
  // Close to the straight estimate of the shot execution for the tee.
  EXPECT_NEAR(s0.vx, Kelp::TEE_SHOT_VX, 0.1);
  EXPECT_NEAR(s0.vy, Kelp::TEE_SHOT_VY, 0.1);
}

TEST(ShotVector, HardHitIsFasterThanSoftHitIsFasterThanDraw) {
  for (bool spin : {false, true}) {
    const float x = 0.4f, y = -0.6f;
    const double draw = speed(CurlingMoveState(x, y, "d", spin, SHOT_DRAW));
    const double soft = speed(CurlingMoveState(x, y, "s", spin, SHOT_HIT_SOFT));
    const double hard = speed(CurlingMoveState(x, y, "h", spin, SHOT_HIT_HARD));
    const double full = speed(CurlingMoveState(x, y, "f", spin, SHOT_FULL_SPEED));
    EXPECT_GT(soft, draw + 0.1);
    EXPECT_GT(hard, soft + 1.0);
    EXPECT_NEAR(full, 33.0, 1e-9);
  }
}

// Error-free rest point of a shot on an empty board.
Kelp::Stone restPoint(const CurlingMoveState& m) {
  Kelp::ThinkBoard board;
  const int outcome =
      Kelp::placeAtRest(board, std::hypot(m.vx, m.vy), std::atan2(m.vx, m.vy), m.spin);
  EXPECT_EQ(outcome, Kelp::SHOT_ADDED) << m.label;
  return board.stones[BLACK][0];
}

TEST(ShotVector, DrawsComeToRestOnEveryFixedTarget) {
  // The empty board gives every fixed target with both spins.
  const std::vector<Tree> fixed = candidates(position(16, {}));
  ASSERT_EQ(fixed.size(), 22u);
  for (const Tree& t : fixed) {
    const CurlingMoveState& m = t.move.move_state;
    const Kelp::Stone rest = restPoint(m);
    EXPECT_LT(std::hypot(rest.x - m.x, rest.y - m.y), 0.03) << m.label << " spin " << m.spin;
  }
  // Stone-dependent draws too: guard, come-around and freeze targets.
  for (const Tree& t : candidates(position(10, {{WHITE, -0.7, -2.0}, {BLACK, 0.6, 0.9}}))) {
    const CurlingMoveState& m = t.move.move_state;
    if (m.label.rfind("STRONG", 0) == 0 || m.label.rfind("WEAK", 0) == 0) continue;
    const Kelp::Stone rest = restPoint(m);
    EXPECT_LT(std::hypot(rest.x - m.x, rest.y - m.y), 0.03) << m.label << " spin " << m.spin;
  }
}

TEST(ShotVector, EveryHitReachesItsStone) {
  const CurlingGameState start = position(10, {{WHITE, 0.3, 0.4}});
  int hits = 0;
  for (const Tree& t : candidates(start)) {
    const CurlingMoveState& m = t.move.move_state;
    if (m.label.rfind("STRONG", 0) != 0 && m.label.rfind("WEAK", 0) != 0) continue;
    ++hits;
    CurlingGameState board = start;
    EXPECT_EQ(Kelp::simulateShot(board, m.shot()), Kelp::SHOT_REBUILT) << m.label;
  }
  EXPECT_EQ(hits, 12);
}

TEST(Reward, IsTheEndScoreFromTheSideToThrow) {
  // BLACK lies two: nearest at 0.3, next at 0.5, WHITE's best at 1.41.
  const CurlingGameState blackTwo =
      position(0, {{BLACK, 0.0, 0.3}, {BLACK, 0.5, 0.0}, {WHITE, 1.0, 1.0}});
  ASSERT_EQ(blackTwo.countScore(), 2);
  for (int turn = 16; turn >= 1; --turn) {
    CurlingGameState first;
    first.turn = turn;
    EXPECT_EQ(CurlingGameState::reward(first, blackTwo), turn % 2 == 0 ? 2 : -2) << turn;
  }
  // Equidistant nearest stones: nobody scores, whatever else lies in the house.
  const CurlingGameState tied =
      position(0, {{BLACK, 0.5, 0.0}, {WHITE, -0.5, 0.0}, {WHITE, 0.0, 1.0}});
  CurlingGameState first;
  first.turn = 15;
  EXPECT_EQ(CurlingGameState::reward(first, tied), 0);
}

}  // namespace
