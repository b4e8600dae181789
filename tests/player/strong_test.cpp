// The strong search and the greedy reference player: fresh execution error in
// every sample, workers that sample differently, and the right shot on
// positions where one kind of shot is plainly best.
#include "player/strong.h"

#include <set>

#include "fixture.h"
#include "player/greedy.h"

namespace {

using Kelp::BLACK;
using Kelp::WHITE;

// WHITE's last stone; BLACK lies shot on the tee with nothing else in play.
// Only a take-out can score: every draw leaves BLACK shot.
CurlingGameState blackOnTheTee() {
  return position(1, {{BLACK, 0.0, 0.0}});
}

bool isHit(const std::string& label) {
  return label.rfind("STRONG", 0) == 0 || label.rfind("WEAK", 0) == 0;
}

const CurlingMoveState& findLabel(const std::vector<Tree>& c, const std::string& label) {
  for (const Tree& t : c) {
    if (t.move.move_state.label == label) return t.move.move_state;
  }
  ADD_FAILURE() << "no candidate " << label;
  return c.front().move.move_state;
}

TEST(StrongWorker, EverySampleDrawsAFreshErrorAndWorkersDrawDifferently) {
  // WHITE's last stone drawn to the tee beside a BLACK stone 0.25 m from it:
  // whether it ends nearer the tee than that stone depends on the error.
  const CurlingGameState s = position(1, {{BLACK, 0.25, 0.0}});
  const CurlingMoveState tee = findLabel(candidates(s), "TEE1");
  const StrongParameters params;
  std::vector<int> runs[2];
  for (int k = 0; k < 2; ++k) {
    StrongWorker w(params, workerSeed(7, k));
    for (int i = 0; i < 40; ++i) runs[k].push_back(w.sample(s, tee));
  }
  for (const auto& r : runs) {
    const std::set<int> outcomes(r.begin(), r.end());
    EXPECT_TRUE(outcomes.count(1) && outcomes.count(-1))
        << "the same shot must sometimes win and sometimes lose the end";
  }
  EXPECT_NE(runs[0], runs[1]) << "two workers sampled the same errors";
  std::set<uint32_t> seeds;
  for (int k = 0; k < 16; ++k) seeds.insert(workerSeed(7, k));
  EXPECT_EQ(seeds.size(), 16u) << "every worker has its own seed";
}

TEST(StrongPlayer, FindsTheOnlyScoringShotAndAnswersInTheRecordFrame) {
  StrongParameters params;
  params.time_limit = 300;
  params.threads = 2;
  StrongPlayer player(params);
  const CurlingGameState s = blackOnTheTee();
  const ThinkResult r = player.Think(s);
  const Move& m = std::get<0>(r);
  EXPECT_TRUE(isHit(m.move_state.label)) << m.move_state.label;
  EXPECT_GT(m.uct_state.mean, 0.0);
  EXPECT_EQ(std::get<2>(r), static_cast<int>(candidates(s).size()));
  EXPECT_GE(std::get<1>(r), static_cast<int>(m.uct_state.playouts));
  const std::vector<Tree> list = candidates(s);
  EXPECT_EQ(m.move_state.vy, -findLabel(list, m.move_state.label).vy);
}

TEST(StrongSearch, TheMostSampledShotIsChosenThenTheBetterMean) {
  const std::vector<ArmStats> stats = {{5, 5.0, 5.0}, {9, 0.0, 9.0}, {9, 4.0, 6.0}, {2, 2.0, 2.0}};
  EXPECT_EQ(robustChoice(stats), 2u);
}

TEST(Greedy, ThrowsTheShotThatScoresWithoutError) {
  GreedyPlayer player(2);
  const CurlingGameState s = blackOnTheTee();
  const Move m = std::get<0>(player.Think(s));
  EXPECT_TRUE(isHit(m.move_state.label)) << m.move_state.label;
  Kelp::ShotVector shot = m.move_state.shot();
  shot.vy = -shot.vy;  // back to the board frame
  const CurlingGameState after = exactThrow(s, shot);
  EXPECT_TRUE(after.IsFinalState());
  EXPECT_EQ(CurlingGameState::reward(s, after), 1);
  EXPECT_EQ(m.uct_state.mean, 1.0);
}

TEST(Greedy, AKnockedOutProtectedGuardVoidsTheThrow) {
  // Second stone of the end: BLACK's centre guard is protected; WHITE throws
  // a full-speed hit straight at it.
  const CurlingGameState s = position(15, {{BLACK, 0.0, -3.5}});
  ASSERT_TRUE(s.state[BLACK][0] & Kelp::STONE_PROTECTED);
  const CurlingMoveState hit(0.0f, -3.5f - 0.145f, "HIT", false, SHOT_FULL_SPEED);
  const CurlingGameState after = exactThrow(s, hit.shot());
  EXPECT_EQ(after.getTurn(), 14);
  ASSERT_EQ(after.count[BLACK], 1);
  EXPECT_EQ(after.count[WHITE], 0);
  EXPECT_DOUBLE_EQ(after.stones[BLACK][0].y, -3.5);
  // The same throw on an unprotected guard takes it out of play.
  CurlingGameState free = s;
  free.state[BLACK][0] &= ~Kelp::STONE_PROTECTED;
  EXPECT_EQ(exactThrow(free, hit.shot()).count[BLACK], 0);
}

}  // namespace
