// The searches find the shot that plainly wins an end.
#include <chrono>
#include <thread>

#include "fixture.h"
#include "player/ai.h"

namespace {

// WHITE throws the last stone of the end. BLACK lies two, at (0.9, 0.3) and
// (-0.8, 0.6), both about a metre from the tee, and nothing guards the tee:
// a draw to the button scores one for WHITE, a shot that leaves BLACK
// nearest gives BLACK two.
const CurlingGameState OPEN_BUTTON =
    position(1, {{Kelp::BLACK, 0.9, 0.3}, {Kelp::BLACK, -0.8, 0.6}});

// WHITE's result of throwing the returned shot (record frame) once.
int throwOnce(const Move& chosen, Kelp::DsfmtEngine& engine) {
  Kelp::ShotVector shot = chosen.move_state.shot();
  shot.vy = -shot.vy;  // back to the board frame
  CurlingGameState next = OPEN_BUTTON;
  next.executeShot(shot, engine);
  return CurlingGameState::reward(OPEN_BUTTON, next);
}

void expectCounts(const ThinkResult& r) {
  EXPECT_EQ(std::get<2>(r), 54);
  // Every root candidate was tried; how many iterations more fit in the
  // time depends on the machine's load, not on the search.
  EXPECT_GE(std::get<1>(r), 54);
  EXPECT_GT(std::get<0>(r).uct_state.mean, 0.0) << std::get<0>(r).move_state.label;
}

TEST(Play, FlatPlayerDrawsForTheWinningLastStone) {
  PrimitiveR flat(100, 400, 0.25);
  const ThinkResult r = flat.Think(OPEN_BUTTON);
  expectCounts(r);
  Kelp::DsfmtEngine engine(2024);
  int total = 0;
  for (int i = 0; i < 200; ++i) total += throwOnce(std::get<0>(r), engine);
  EXPECT_GT(total, 100) << std::get<0>(r).move_state.label;  // scores on average
}

TEST(Play, UctPlayerChoosesAShotThatScoresUnderItsOwnError) {
  // Every UCT iteration starts from the engine as seeded, so once all root
  // children have been tried each one is judged by the error of the seed's
  // first draws: the chosen shot must score under that error. The search is
  // started at the turn of a second so that all four workers share the seed.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const uint32_t previous = Kelp::timeSeed();
    while (Kelp::timeSeed() == previous) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const uint32_t seed = Kelp::timeSeed();
    Pebble_original uct(400, 0.25);
    const ThinkResult r = uct.Think(OPEN_BUTTON);
    if (Kelp::timeSeed() != seed) continue;
    expectCounts(r);
    Kelp::DsfmtEngine engine(seed);
    EXPECT_EQ(throwOnce(std::get<0>(r), engine), 1) << std::get<0>(r).move_state.label;
    return;
  }
  FAIL() << "no search ran within one second";
}

}  // namespace
