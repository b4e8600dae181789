// Candidate shots of a position: which patterns run, their order, labels,
// spins, targets, and the boundaries of the stone-dependent patterns.
#include <cmath>
#include <numbers>

#include "fixture.h"
#include "support/death.h"

namespace {

using Kelp::BLACK;
using Kelp::WHITE;

struct Expected {
  const char* label;
  int spin;
};

// The 22 candidates that do not depend on the stones, in list order.
const std::vector<Expected> FIXED = {
    {"FREE_GUARD1", 1}, {"FREE_GUARD2", 0}, {"FREE_GUARD3", 1}, {"FREE_GUARD4", 0},
    {"FREE_GUARD5", 1}, {"FREE_GUARD6", 0}, {"TEE1", 1},        {"TEE2", 0},
    {"HOUSE1", 1},      {"HOUSE2", 0},      {"HOUSE3", 1},      {"HOUSE4", 0},
    {"HOUSE5", 1},      {"HOUSE6", 0},      {"BLUESIDE", 1},    {"BLUESIDE2", 0},
    {"BLUESIDE3", 1},   {"BLUESIDE4", 0},   {"WHITESIDE", 1},   {"WHITESIDE", 0},
    {"WHITESIDE", 1},   {"WHITESIDE", 0}};

void expectSequence(const std::vector<Tree>& got, const std::vector<Expected>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].move.move_state.label, want[i].label) << "at " << i;
    EXPECT_EQ(got[i].move.move_state.spin, want[i].spin) << "at " << i;
    EXPECT_EQ(got[i].move.uct_state.visits, 0u);
    EXPECT_TRUE(got[i].children.empty());
  }
}

int countLabel(const std::vector<Tree>& nodes, const std::string& prefix) {
  int n = 0;
  for (const Tree& t : nodes) n += t.move.move_state.label.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

void expectTarget(const Tree& t, float x, float y) {
  EXPECT_EQ(static_cast<float>(t.move.move_state.x), x) << t.move.move_state.label;
  EXPECT_EQ(static_cast<float>(t.move.move_state.y), y) << t.move.move_state.label;
}

TEST(Candidates, EmptyBoardGivesTheFixedCandidatesInBothPhases) {
  for (int turn : {16, 12}) {
    SCOPED_TRACE(turn);
    const std::vector<Tree> got = candidates(position(turn, {}));
    expectSequence(got, FIXED);
    // Targets: free guards 3.5 in front of the tee line turned by 30 degrees
    // at x = -/+0.305; house points at radius 1.22 in front of the tee line;
    // the side draws on the tee line.
    const float side = static_cast<float>(-3.5 * std::sqrt(3.0) / 2);
    EXPECT_NEAR(got[0].move.move_state.y, side, 1e-6);
    expectTarget(got[0], -0.305f, static_cast<float>(got[0].move.move_state.y));
    expectTarget(got[2], 0.0f, -3.5f);
    EXPECT_NEAR(got[4].move.move_state.y, side, 1e-6);
    EXPECT_FLOAT_EQ(static_cast<float>(got[4].move.move_state.x), 0.305f);
    expectTarget(got[6], 0.0f, 0.0f);
    EXPECT_NEAR(got[8].move.move_state.x, 1.22 * std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(got[8].move.move_state.y, -1.22 * std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(got[10].move.move_state.x, 0.0, 1e-6);
    EXPECT_FLOAT_EQ(static_cast<float>(got[10].move.move_state.y), -1.22f);
    EXPECT_NEAR(got[12].move.move_state.x, -1.22 * std::sqrt(0.5), 1e-6);
    expectTarget(got[14], 1.53f, 0.0f);
    expectTarget(got[16], -1.53f, 0.0f);
    expectTarget(got[18], 1.22f, 0.0f);
    expectTarget(got[20], -1.22f, 0.0f);
  }
}

TEST(Candidates, StoneAtTheTeeAddsGuardFreezeAndBothHitWeights) {
  const std::vector<Tree> got = candidates(position(10, {{BLACK, 0.0, 0.0}}));
  std::vector<Expected> want(FIXED.begin(), FIXED.begin() + 6);
  const std::vector<Expected> stoneDependent = {
      {"GUARD1", 1},  {"GUARD2", 0},  {"FREEZE1", 1}, {"FREEZE2", 0},
      {"STRONG1", 1}, {"STRONG2", 0}, {"STRONG3", 1}, {"STRONG4", 0},
      {"WEAK5", 1},   {"WEAK6", 0},   {"WEAK1", 1},   {"WEAK2", 0},
      {"WEAK3", 1},   {"WEAK4", 0},   {"WEAK5", 1},   {"WEAK6", 0}};
  want.insert(want.end(), stoneDependent.begin(), stoneDependent.end());
  want.insert(want.end(), FIXED.begin() + 6, FIXED.end());
  expectSequence(got, want);
  ASSERT_EQ(got.size(), 38u);

  const double R = 0.14499999582767487;
  expectTarget(got[6], 0.0f, -1.83f);                      // guard 1.83 in front
  expectTarget(got[8], 0.0f, static_cast<float>(-3 * R));  // freeze three radii in front
  expectTarget(got[10], static_cast<float>(R * std::cos(std::numbers::pi / 6)),
               static_cast<float>(-R * std::sin(std::numbers::pi / 6)));  // hit at 30 degrees
  expectTarget(got[12], 0.0f, static_cast<float>(-R));                    // hit at 90 degrees
  expectTarget(got[14], static_cast<float>(-R * std::cos(std::numbers::pi / 6)),
               static_cast<float>(-R * std::sin(std::numbers::pi / 6)));  // hit at 150 degrees
  // The hard hits' "WEAK5"/"WEAK6" are hard hits: same target as the soft
  // ones, more speed.
  for (int i = 0; i < 6; ++i) {
    const CurlingMoveState& hard = got[10 + i].move.move_state;
    const CurlingMoveState& soft = got[16 + i].move.move_state;
    EXPECT_EQ(hard.x, soft.x);
    EXPECT_EQ(hard.y, soft.y);
    EXPECT_GT(speed(hard), speed(soft) + 1.0) << hard.label;
  }
}

TEST(Candidates, PatternHouseIsTheFloatDistanceUpTo183) {
  struct Case {
    double x;
    bool patternHouse;
  };
  // 1.83f lies just above the double 1.83; 1.9 still counts for scoring.
  for (const Case c :
       {Case{1.829, true}, Case{static_cast<double>(1.83f), false}, Case{1.9, false}}) {
    SCOPED_TRACE(c.x);
    const CurlingGameState s = position(10, {{WHITE, c.x, 0.0}});
    EXPECT_EQ(s.in_house[WHITE], 1);
    const std::vector<Tree> got = candidates(s);
    EXPECT_EQ(got.size(), c.patternHouse ? 38u : 22u);
    EXPECT_EQ(countLabel(got, "GUARD"), c.patternHouse ? 2 : 0);
    EXPECT_EQ(countLabel(got, "FREEZE"), c.patternHouse ? 2 : 0);
    EXPECT_EQ(countLabel(got, "STRONG"), c.patternHouse ? 4 : 0);
    EXPECT_EQ(countLabel(got, "WEAK"), c.patternHouse ? 8 : 0);
  }
}

TEST(Candidates, ComeAroundBandIsStrictAtBothEnds) {
  struct Case {
    float y;
    int comeArounds;
  };
  // -1.22f is just below the double -1.22 (the comparison widens the float);
  // -6.0 is compared in float, strictly.
  for (const Case c : {Case{-1.22f, 2}, Case{-1.21f, 0}, Case{-6.0f, 0}, Case{-5.99f, 2}}) {
    SCOPED_TRACE(c.y);
    const std::vector<Tree> got = candidates(position(10, {{BLACK, 0.3, c.y}}));
    EXPECT_EQ(countLabel(got, "COME_AROUND"), c.comeArounds);
    for (const Tree& t : got) {
      if (t.move.move_state.label.rfind("COME_AROUND", 0) != 0) continue;
      EXPECT_EQ(t.move.move_state.spin, t.move.move_state.label == "COME_AROUND1" ? 0 : 1);
      expectTarget(t, 0.3f, static_cast<float>(static_cast<double>(c.y) + 2.4));
    }
  }
}

TEST(Candidates, HitsAppearAfterTheFourthThrow) {
  // Free-guard period: guards, freezes and come-arounds but no hits.
  const std::vector<Tree> early = candidates(position(13, {{WHITE, 0.2, -1.5}}));
  EXPECT_EQ(early.size(), 22u + 4u + 2u);
  EXPECT_EQ(countLabel(early, "STRONG") + countLabel(early, "WEAK"), 0);
  EXPECT_EQ(early[6].move.move_state.label, "GUARD1");
  EXPECT_EQ(early[8].move.move_state.label, "COME_AROUND1");
  EXPECT_EQ(early[10].move.move_state.label, "FREEZE1");
  EXPECT_EQ(early[12].move.move_state.label, "TEE1");

  const std::vector<Tree> later = candidates(position(12, {{WHITE, 0.2, -1.5}}));
  EXPECT_EQ(later.size(), 22u + 16u + 2u);
  EXPECT_EQ(countLabel(later, "STRONG"), 4);
}

TEST(Candidates, TwoStonesAreHandledBlackFirstEachInFull) {
  const std::vector<Tree> got = candidates(position(10, {{WHITE, 0.5, 0.0}, {BLACK, -0.9, 0.2}}));
  ASSERT_EQ(got.size(), 22u + 32u);
  // Generator by generator, the BLACK stone before the WHITE one.
  expectTarget(got[6], -0.9f, 0.2f - 1.83f);
  expectTarget(got[8], 0.5f, -1.83f);
  EXPECT_FLOAT_EQ(static_cast<float>(got[10].move.move_state.x), -0.9f);
  EXPECT_FLOAT_EQ(static_cast<float>(got[12].move.move_state.x), 0.5f);
}

TEST(Candidates, UnknownListReportsAndAppendsNothing) {
  EXPECT_TRUE(getPatternList(13).empty());
  EXPECT_TRUE(getPatternList(-1).empty());
  std::vector<Tree> out;
  ::testing::internal::CaptureStdout();
  appendCandidates(position(10, {}), 13, out);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Failed GetFunctions\nerror");
  EXPECT_TRUE(out.empty());

  // A list with candidates reports nothing.
  ::testing::internal::CaptureStdout();
  appendCandidates(position(10, {}), 7, out);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(out.size(), 8u);  // TEE and HOUSE; the stone patterns find no stone
}

TEST(Candidates, TargetOutsideThePlayAreaIsABrokenInvariant) {
  EXPECT_CHECK_FAILS(CurlingMoveState(2.25f, 0.0f, "X", false, SHOT_DRAW),
                     "Kelp::isInPlayArea(x_, y_)");
  EXPECT_CHECK_FAILS(CurlingMoveState(0.0f, 1.98f, "X", false, SHOT_DRAW),
                     "Kelp::isInPlayArea(x_, y_)");
}

}  // namespace
