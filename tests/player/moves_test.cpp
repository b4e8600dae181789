// Shot vectors of the candidate moves, checked against the physics they are
// derived for, and the reward of a finished end.
#include "fixture.h"
#include "kelpsimulator/shot.h"

namespace {

using Kelp::BLACK, Kelp::WHITE;

TEST(ShotVector, DrawsRestOnTheirTargetsAndHitsReachTheirStone) {
  // Every fixed target (the empty board) and the guard, come-around and
  // freeze targets of two stones, both spins, thrown without error.
  std::vector<Tree> draws = candidates(position(16, {}));
  for (Tree& t : candidates(position(10, {{WHITE, -0.7, -2.0}, {BLACK, 0.6, 0.9}}))) {
    const std::string& l = t.move.move_state.label;
    if (!l.starts_with("WEAK") && !l.starts_with("STRONG")) draws.push_back(t);
  }
  ASSERT_EQ(draws.size(), 22u + 22u + 6u);
  for (const Tree& t : draws) {
    const CurlingMoveState& m = t.move.move_state;
    Kelp::ThinkBoard board;
    ASSERT_EQ(Kelp::placeAtRest(board, std::hypot(m.vx, m.vy), std::atan2(m.vx, m.vy), m.spin), 1)
        << m.label;
    const Kelp::Stone& rest = board.stones[BLACK][0];
    EXPECT_LT(std::hypot(rest.x - m.x, rest.y - m.y), 0.03) << m.label << " spin " << m.spin;
  }
  const CurlingGameState lone = position(10, {{WHITE, 0.3, 0.4}});
  const std::vector<Tree> all = candidates(lone);
  for (size_t i = 10; i < 22; ++i) {  // STRONG1..WEAK6 of the two weights
    CurlingGameState board = lone;
    EXPECT_EQ(Kelp::simulateShot(board, all[i].move.move_state.shot()), Kelp::SHOT_REBUILT) << i;
  }
}

// The score itself (ties, the house edge) is checked on the think board.
TEST(Reward, IsTheEndScoreFromTheSideToThrow) {
  // BLACK lies two (0.3 and 0.5 from the tee, WHITE's best 1.41).
  const CurlingGameState blackTwo =
      position(0, {{BLACK, 0.0, 0.3}, {BLACK, 0.5, 0.0}, {WHITE, 1.0, 1.0}});
  for (int turn = 16; turn >= 1; --turn) {
    CurlingGameState first;
    first.turn = turn;
    EXPECT_EQ(CurlingGameState::reward(first, blackTwo), turn % 2 == 0 ? 2 : -2) << turn;
  }
}

}  // namespace
