// The searches find the shot that plainly wins an end.
#include <cmath>

#include "fixture.h"
#include "player/ai.h"

namespace {

using Kelp::BLACK;

// WHITE throws the last stone of the end. BLACK lies two in the house, at
// (0.9, 0.3) and (-0.8, 0.6), both about a metre from the tee, and nothing
// guards the tee: a draw to the button scores one for WHITE, while every
// shot that leaves BLACK nearest gives BLACK two.
CurlingGameState openButton() {
  return position(1, {{BLACK, 0.9, 0.3}, {BLACK, -0.8, 0.6}});
}

// Average reward for WHITE of throwing the returned shot (record frame) with
// execution error.
double averageReward(const CurlingGameState& s, const Move& chosen) {
  Kelp::ShotVector shot = chosen.move_state.shot();
  shot.vy = -shot.vy;  // back to the board frame
  Kelp::DsfmtEngine engine(2024);
  int total = 0;
  const int throws = 200;
  for (int i = 0; i < throws; ++i) {
    CurlingGameState next = s;
    next.executeShot(shot, engine);
    total += CurlingGameState::reward(s, next);
  }
  return static_cast<double>(total) / throws;
}

void expectScoringChoice(const ThinkResult& r, const CurlingGameState& s) {
  const Move& chosen = std::get<0>(r);
  EXPECT_EQ(std::get<2>(r), 54);
  EXPECT_GT(std::get<1>(r), 200);
  EXPECT_GT(chosen.uct_state.mean, 0.0) << chosen.move_state.label;
  EXPECT_GT(averageReward(s, chosen), 0.5) << chosen.move_state.label;
}

TEST(Play, UctPlayerDrawsForTheWinningLastStone) {
  const CurlingGameState s = openButton();
  Pebble_original player(400, 0.25);
  const ThinkResult r = player.Think(s);
  expectScoringChoice(r, s);
}

TEST(Play, FlatPlayerDrawsForTheWinningLastStone) {
  const CurlingGameState s = openButton();
  PrimitiveR player(100, 400, 0.25);
  const ThinkResult r = player.Think(s);
  expectScoringChoice(r, s);
}

}  // namespace
