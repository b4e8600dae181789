// The searches find the shot that plainly wins an end.
#include "fixture.h"
#include "player/ai.h"
#include "player/faithful.h"
#include "player/strong.h"

namespace {

// WHITE throws the last stone of the end. BLACK lies two, at (0.9, 0.3) and
// (-0.8, 0.6), both about a metre from the tee, and nothing guards the tee:
// a draw to the button scores one for WHITE, a shot that leaves BLACK
// nearest gives BLACK two.
const CurlingGameState OPEN_BUTTON =
    position(1, {{Kelp::BLACK, 0.9, 0.3}, {Kelp::BLACK, -0.8, 0.6}});

// Checks the counts of a search's result and returns WHITE's total over n
// throws of the chosen shot (answered in the record frame).
int expectCountsAndThrow(const ThinkResult& r, uint32_t seed, int n) {
  const CurlingMoveState& m = std::get<0>(r).move_state;
  EXPECT_EQ(std::get<2>(r), 54);
  // Every root candidate was tried; how many iterations more fit in the
  // time depends on the machine's load, not on the search.
  EXPECT_GE(std::get<1>(r), 54);
  EXPECT_GT(std::get<0>(r).uct_state.mean, 0.0) << m.label;
  Kelp::DsfmtEngine engine(seed);
  int total = 0;
  for (int i = 0; i < n; ++i) {
    CurlingGameState next = OPEN_BUTTON;
    next.executeShot(Kelp::ShotVector{m.vx, -m.vy, m.spin}, engine);
    total += CurlingGameState::reward(OPEN_BUTTON, next);
  }
  return total;
}

TEST(Play, FlatPlayerDrawsForTheWinningLastStone) {
  const ThinkResult r = PrimitiveR(100, 400, 0.25).Think(OPEN_BUTTON);
  EXPECT_GT(expectCountsAndThrow(r, 2024, 200), 100)  // scores on average
      << std::get<0>(r).move_state.label;
}

TEST(Play, UctPlayerChoosesAShotThatScoresUnderItsOwnError) {
  // Every UCT iteration starts from the engine as seeded, so once all root
  // children have been tried each one is judged by the error of the seed's
  // first draws: the chosen shot must score under that error. Seeded, with
  // a budget that tries every child, as kelp's search is at the turn of a
  // second (all four workers share the seed) with time to spare.
  SearchParameters budget{0, 1, 0.25};
  budget.iterations = 1000;
  const ThinkResult r = FaithfulPlayer(budget, 12).Think(OPEN_BUTTON);
  EXPECT_EQ(std::get<1>(r), 4 * 1000);
  EXPECT_EQ(expectCountsAndThrow(r, decisionSeed(12, OPEN_BUTTON), 1), 1)
      << std::get<0>(r).move_state.label;
}

}  // namespace
