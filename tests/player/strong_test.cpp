// The strong search and the greedy reference player: fresh execution error in
// every sample, workers that sample differently, and the right shot on
// positions where one kind of shot is plainly best.
#include "player/strong.h"

#include <algorithm>
#include <set>

#include "fixture.h"
#include "player/greedy.h"

namespace {

using Kelp::BLACK, Kelp::WHITE;

TEST(StrongWorker, EverySampleDrawsAFreshErrorAndWorkersDrawDifferently) {
  // WHITE's last stone drawn to the tee beside a BLACK stone 0.25 m from it:
  // whether it ends nearer the tee than that stone depends on the error.
  const CurlingGameState s = position(1, {{BLACK, 0.25, 0.0}});
  const std::vector<Tree> list = candidates(s);
  const Tree& tee = list[list.size() - 16];
  ASSERT_EQ(tee.move.move_state.label, "TEE1");
  std::vector<int> runs[2];
  for (int k = 0; k < 2; ++k) {
    StrongWorker w(StrongParameters{}, workerSeed(7, k));
    for (int i = 0; i < 40; ++i) runs[k].push_back(w.sample(s, tee.move.move_state).points);
    EXPECT_TRUE(std::ranges::count(runs[k], 1) && std::ranges::count(runs[k], -1))
        << "the same shot must sometimes win and sometimes lose the end";
  }
  EXPECT_NE(runs[0], runs[1]) << "two workers sampled the same errors";
  std::set<uint32_t> seeds;
  for (int k = 0; k < 16; ++k) seeds.insert(workerSeed(7, k));
  EXPECT_EQ(seeds.size(), 16u) << "every worker has its own seed";
  EXPECT_EQ(robustChoice({{5, 5.0, 5.0}, {9, 0.0, 9.0}, {9, 4.0, 6.0}, {2, 2.0, 2.0}}), 2u)
      << "the most sampled shot is chosen, then the better mean";
}

TEST(Players, FindTheOnlyScoringShotAndAnswerInTheRecordFrame) {
  // WHITE's last stone; BLACK lies shot on the tee with nothing else in play.
  // Only a take-out can score: every draw leaves BLACK shot.
  const CurlingGameState s = position(1, {{BLACK, 0.0, 0.0}});
  const std::vector<Tree> list = candidates(s);
  StrongParameters budget{0, 2};
  budget.samples = 6000;
  budget.seed = 5;
  const ThinkResult results[] = {StrongPlayer(budget).Think(s), GreedyPlayer(2).Think(s)};
  for (const ThinkResult& r : results) {
    const CurlingMoveState& m = std::get<0>(r).move_state;
    EXPECT_TRUE(m.label.starts_with("STRONG") || m.label.starts_with("WEAK")) << m.label;
    EXPECT_GT(std::get<0>(r).uct_state.mean, 0.0);
    EXPECT_EQ(std::get<2>(r), static_cast<int>(list.size()));
    EXPECT_GE(std::get<1>(r), static_cast<int>(std::get<0>(r).uct_state.playouts));
    EXPECT_TRUE(&r != &results[0] || std::get<1>(r) == 6000) << "the budget, to the sample";
    EXPECT_TRUE(std::ranges::any_of(list, [&](const Tree& t) {
      return t.move.move_state.label == m.label && t.move.move_state.vy == -m.vy;
    })) << m.label;
  }
  // The greedy player's shot, thrown without error, scores as it claims.
  Kelp::ShotVector shot = std::get<0>(results[1]).move_state.shot();
  shot.vy = -shot.vy;  // back to the board frame
  const CurlingGameState after = exactThrow(s, shot);
  EXPECT_TRUE(after.IsFinalState());
  EXPECT_EQ(CurlingGameState::reward(s, after), 1);
  EXPECT_EQ(std::get<0>(results[1]).uct_state.mean, 1.0);
}

TEST(StrongWorker, ASampleIsWorthTheWinChanceAfterItsEnd) {
  // Three throws left in the last end: level, a sample is worth (sign + 1)
  // / 2 of its points, the sign rule's values; one up, any end but a loss
  // by two or more keeps the match at least level.
  const CurlingGameState s = position(3, {{BLACK, 0.25, 0.0}, {WHITE, -0.6, -2.5}});
  const Tree tee = candidates(s)[candidates(s).size() - 16];
  StrongParameters p;
  p.win_table = &measuredWinTable();
  StrongWorker level(p, 3);
  std::set<int> seen;
  for (int i = 0; i < 60; ++i) {
    const SampleValue v = level.sample(s, tee.move.move_state);
    EXPECT_EQ(v.value, ((v.points > 0) - (v.points < 0) + 1) / 2.0) << v.points;
    seen.insert((v.points > 0) - (v.points < 0));
  }
  EXPECT_GE(seen.size(), 2u) << "the position must not decide itself";
  p.match = {1, false, 0};
  StrongWorker ahead(p, 3);
  for (int i = 0; i < 60; ++i) {
    const SampleValue v = ahead.sample(s, tee.move.move_state);
    EXPECT_EQ(v.value, v.points >= 0 ? 1.0 : v.points == -1 ? 0.5 : 0.0) << v.points;
  }
  // With ends to come the table counts: a point now is worth less than a
  // win, and more than nothing.
  p.match = {0, true, 3};
  const SampleValue v = StrongWorker(p, 3).sample(s, tee.move.move_state);
  EXPECT_GT(v.value, 0.0);
  EXPECT_LT(v.value, 1.0);
}

TEST(StrongWorker, TheLastStoneRepliesAndOnlyRefinedShotsSampleTheirVariants) {
  // WHITE's last stone; BLACK lies shot 0.9 m from the tee. A draw to the tee
  // scores; the heuristic's take-out mostly leaves a blank at best.
  const CurlingGameState last = position(1, {{BLACK, 0.9, 0.0}});
  double mean[2] = {};
  for (const bool reply : {false, true}) {
    StrongParameters p;
    p.last_stone_reply = reply;
    StrongWorker w(p, 11);
    for (int i = 0; i < 60; ++i) {
      CurlingGameState t = last;
      w.rollout(t);
      mean[reply] += CurlingGameState::reward(last, t) / 60.0;
    }
  }
  EXPECT_GT(mean[1], 0.8);
  EXPECT_GT(mean[1], mean[0] + 0.3);

  // Refinement: variants are sampled only for the shots the worker refined,
  // every variant of those gets its initial samples, and no more than
  // refine_shots shots are refined.
  const CurlingGameState s = position(9, {{BLACK, 0.3, 0.2}, {WHITE, -0.5, -2.0}});
  std::vector<CurlingMoveState> base;
  for (const Tree& t : candidates(s)) base.push_back(t.move.move_state);
  StrongParameters p;
  p.refine_shots = 2;
  StrongWorker w(p, 5);
  const std::vector<CurlingMoveState> arms = refinedArms(base);
  ASSERT_EQ(arms.size(), base.size() * (1 + REFINE_VARIANTS));
  w.run(s, arms, 4 * base.size() + 200);
  size_t refined = 0;
  for (size_t i = 0; i < base.size(); ++i) {
    size_t sampled = 0;
    for (size_t j = 0; j < REFINE_VARIANTS; ++j) {
      const uint32_t n = w.stats()[base.size() + i * REFINE_VARIANTS + j].n;
      sampled += n != 0;
      if (n != 0) {
        EXPECT_GE(n, p.initial_samples);
      }
    }
    EXPECT_TRUE(sampled == 0 || sampled == REFINE_VARIANTS) << i;
    refined += sampled != 0;
  }
  EXPECT_EQ(refined, 2u);
}

TEST(Greedy, AKnockedOutProtectedGuardVoidsTheThrow) {
  // Second stone of the end: BLACK's centre guard is protected; WHITE throws
  // a full-speed hit straight at it.
  CurlingGameState s = position(15, {{BLACK, 0.0, -3.5}});
  ASSERT_TRUE(s.state[BLACK][0] & Kelp::STONE_PROTECTED);
  const CurlingMoveState hit(0.0f, -3.5f - 0.145f, "HIT", false, SHOT_FULL_SPEED);
  const CurlingGameState after = exactThrow(s, hit.shot());
  EXPECT_EQ(after.getTurn(), 14);
  ASSERT_EQ(std::tuple(after.count[BLACK], after.count[WHITE]), std::tuple(1, 0));
  EXPECT_DOUBLE_EQ(after.stones[BLACK][0].y, -3.5);
  // The same throw on an unprotected guard takes it out of play.
  s.state[BLACK][0] &= ~Kelp::STONE_PROTECTED;
  EXPECT_EQ(exactThrow(s, hit.shot()).count[BLACK], 0);
}

}  // namespace
