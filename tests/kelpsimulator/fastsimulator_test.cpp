#include "kelpsimulator/fastsimulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "kelpsimulator/shot.h"
#include "kelpsimulator/simulator.h"
#include "support/boards.h"
#include "support/death.h"

namespace Kelp {
namespace {

using ::testing::HasSubstr;

class TablesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { buildTables(); }
};
const auto* const tablesEnvironment = ::testing::AddGlobalTestEnvironment(new TablesEnvironment);

FSStone moving(double x, double y, double th, double v, double w, uint32_t state = 0) {
  FSStone s;
  s.x = x;
  s.y = y;
  s.th = th;
  s.v = v;
  s.w = w;
  s.state = state;
  return s;
}

// Builds an FSBoard by hand: every moving stone may hit every other stone.
struct Builder {
  FSBoard b;
  int n = 0;
  int add(const FSStone& s, bool isMoving) {
    b.aw_stone[n] = s;
    if (isMoving) {
      b.awakes.set(n);
      ++b.awake_count;
    } else {
      b.asleeps.set(n);
      ++b.asleep_count;
    }
    return n++;
  }
  FSBoard& done() {
    forEach(b.awakes, [&](int i) {
      b.aw_stone[i].asleeps = b.asleeps;
      b.aw_stone[i].awakes = andNot(b.awakes, bitSet(1u << i));
    });
    return b;
  }
};

// A think board on which simulate writes; a marker stone shows whether it did.
ThinkBoard markedBoard() {
  ThinkBoard out;
  out.turn = 10;
  out.setStone(BLACK, 1.5, 1.5);
  return out;
}

std::string stderrOf(const FSBoard& b, bool* result) {
  ::testing::internal::CaptureStderr();
  *result = b.exam();
  return ::testing::internal::GetCapturedStderr();
}

TEST(FSBoardContact, HeadOnOntoARestingStone) {
  FSStone a = moving(0.0, 0.0, 0.0, 10.0, 0.066696);
  FSStone b = moving(0.0, 0.29, 0.0, 0.0, 0.0);
  a.t = 1.25;
  collideResting(a, b);
  const double j = (0.066696 * 0.14499999582767487 + 0.0) * 0.159;
  EXPECT_NEAR(j, 0.0015377, 1e-7);
  EXPECT_NEAR(b.v, 10.0000001, 1e-7);
  EXPECT_NEAR(b.th, 0.00015377, 1e-8);
  EXPECT_NEAR(b.w, 0.0212093, 1e-7);
  EXPECT_EQ(b.t, 1.25);
  EXPECT_NEAR(a.v, 0.0015377, 1e-7);
  EXPECT_NEAR(a.th, -M_PI / 2, 1e-12);
  EXPECT_NEAR(a.w, 0.0879053, 1e-7);
}

TEST(FSBoardContact, MovingStonesExchangeTheirNormalParts) {
  FSStone a = moving(0.0, 0.0, 0.0, 2.0, 1.0);
  FSStone b = moving(0.0, 0.29, M_PI, 1.0, 1.0);
  collideMoving(a, b);
  EXPECT_NEAR(b.v, std::hypot(2.0, 2.0 * 0.145 * 0.159), 1e-6);
  EXPECT_NEAR(a.v, std::hypot(1.0, 2.0 * 0.145 * 0.159), 1e-6);
  EXPECT_GT(std::cos(b.th), 0.99);   // b now travels on toward +y
  EXPECT_LT(std::cos(a.th), -0.99);  // a bounced back
  EXPECT_NEAR(a.w, b.w, 1e-12);      // the same spin change for both
  EXPECT_NEAR(a.w - 1.0, 2.0 * 0.145 * 0.159 * 2.0 / 0.145, 1e-6);

  // The speeds handed on never exceed what the tables cover.
  FSStone c = moving(0.0, 0.0, 0.0, 40.0, 0.0);
  FSStone d = moving(0.0, 0.29, 0.0, 0.0, 0.0);
  collideMoving(c, d);
  EXPECT_EQ(d.v, MAX_SPEED);
}

TEST(FSBoardContact, FromContactLaysOutTheSlots) {
  ThinkBoard board;
  board.turn = 9;
  board.setStone(BLACK, 0.0, 0.5);
  board.setStone(BLACK, 0.0, -3.0);
  board.setStone(WHITE, 0.4, 0.0);
  board.state[BLACK][0] = 0;
  board.state[BLACK][1] = STONE_IN_FGZ | STONE_PROTECTED;
  board.state[WHITE][0] = 1;
  const FSStone thrown = moving(0.1, -3.3, 0.2, 5.0, 0.1);
  const FSStone struck = moving(0.0, -3.0, 0.1, 4.0, 0.02);

  FSBoard f;
  f.aw_stone[5].awakes.set(3);  // leftovers of an earlier shot
  fromContact(f, board, 1, thrown, struck);
  EXPECT_EQ(f.awakes.word, 0b11u);
  EXPECT_EQ(f.asleeps.word, 0b1100u);
  EXPECT_EQ(f.awake_count, 2);
  EXPECT_EQ(f.asleep_count, 2);
  EXPECT_EQ(f.shooter, 1u);
  EXPECT_EQ(f.aw_stone[0].v, 5.0);
  EXPECT_EQ(f.aw_stone[0].state, 1u);  // the thrown stone is never protected
  EXPECT_EQ(f.aw_stone[1].state, STONE_IN_FGZ | STONE_PROTECTED);
  EXPECT_EQ(f.aw_stone[1].v, 4.0);
  EXPECT_EQ(f.aw_stone[2].y, 0.5);  // BLACK 0, then WHITE 0; BLACK 1 was hit
  EXPECT_EQ(f.aw_stone[3].x, 0.4);
  EXPECT_EQ(f.aw_stone[3].state, 1u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(f.aw_stone[i].asleeps.word, 0b1100u);
    EXPECT_TRUE(f.aw_stone[i].awakes.empty());  // the pair has just parted
  }
  EXPECT_TRUE(f.aw_stone[5].awakes.empty());
  EXPECT_TRUE(f.exam());
}

TEST(FSBoardSimulate, TouchingAtTheStartOfAScanCollidesAtOnceAndOnlyOnce) {
  // Slow and touching: without the contact at the scan's start the stone
  // would stop within 0.05 m, short of any gap-based event.
  Builder g;
  g.add(moving(0.0, 0.0, 0.0, 1.0, CURL_SPIN), true);
  g.add(moving(0.0, 0.2901, 0.0, 0.0, 0.0, 1), false);
  ThinkBoard out = markedBoard();
  FSBoard& f = g.done();
  ASSERT_EQ(simulate(out, f), 2);
  // The striker keeps a little sideways speed and still touches the struck
  // stone after the contact; the pair exclusion keeps them from colliding
  // again on every scan.
  EXPECT_LE(f.events, 3);
  ASSERT_EQ(out.count[BLACK], 1);
  ASSERT_EQ(out.count[WHITE], 1);
  EXPECT_NEAR(out.stones[BLACK][0].y, 0.0, 0.01);
  EXPECT_GT(out.stones[WHITE][0].y, 0.2901 + 0.03);
}

TEST(FSBoardSimulate, TwoMovingStonesMeetOnce) {
  Builder g;
  g.add(moving(0.0, -2.0, 0.0, 3.0, CURL_SPIN), true);
  g.add(moving(0.0, -1.0, M_PI, 3.0, -CURL_SPIN, 1), true);
  ThinkBoard out = markedBoard();
  FSBoard& f = g.done();
  ASSERT_EQ(simulate(out, f), 2);
  EXPECT_LE(f.events, 6);
  ASSERT_EQ(out.count[BLACK], 1);
  ASSERT_EQ(out.count[WHITE], 1);
  // Head-on between equal masses: each goes back the way it came from the
  // contact at about -1.5 and they never pass through each other.
  EXPECT_LT(out.stones[BLACK][0].y, -1.5 - 0.145);
  EXPECT_GT(out.stones[WHITE][0].y, -1.5 + 0.145);
  EXPECT_NEAR(out.stones[BLACK][0].x, 0.0, 0.05);
}

TEST(FSBoardSimulate, StonesDrivenOutOfPlay) {
  for (const uint32_t state : {1u, 1u | STONE_IN_FGZ | STONE_PROTECTED}) {
    // The struck stone is close to the back line and leaves play.
    Builder g;
    g.add(moving(0.0, 1.0, 0.0, 5.0, CURL_SPIN), true);
    g.add(moving(0.0, 1.2905, 0.0, 0.0, 0.0, state), false);
    g.add(moving(-1.0, 0.0, 0.0, 0.0, 0.0, 1), false);
    ThinkBoard out = markedBoard();
    const ThinkBoard before = out;
    const int outcome = simulate(out, g.done());
    if (state & STONE_PROTECTED) {
      // A foul: the board is left exactly as it was.
      EXPECT_EQ(outcome, 0);
      expectSameBoard(out, before);
    } else {
      EXPECT_EQ(outcome, 2);
      ASSERT_EQ(out.count[BLACK], 1);  // the striker
      ASSERT_EQ(out.count[WHITE], 1);  // only the stone that was not hit
      EXPECT_EQ(out.stones[WHITE][0].x, -1.0);
      EXPECT_NEAR(out.stones[BLACK][0].y, 1.0, 0.02);
    }
  }
}

// Lateral offset of a resting stone at height y at which the moving stone of
// nearMissBoard just stops touching it (from the side of touchX).
double missBoundary(double y, double touchX, double missX) {
  for (int i = 0; i < 60; ++i) {
    const double m = 0.5 * (touchX + missX);
    Builder g;
    g.add(moving(0.0, -5.0, 0.0, 4.0, CURL_SPIN), true);
    g.add(moving(m, y, 0.0, 0.0, 0.0), false);
    ThinkBoard out;
    out.turn = 10;
    simulate(out, g.done());
    const bool untouched = out.stones[BLACK][0].x == m || out.stones[BLACK][1].x == m;
    (untouched ? missX : touchX) = m;
  }
  return missX;
}

TEST(FSBoardSimulate, ManyEventsEndInTheExactModel) {
  // Stones that the moving one passes by within a hair: every pass closes
  // only part of the tiny gap, so each near miss costs about a hundred events.
  const double ys[3] = {-4.85, -4.55, -4.45};
  const double xs[3] = {missBoundary(ys[0], 0.0, 0.6), missBoundary(ys[1], 0.0, -0.6),
                        missBoundary(ys[2], 0.0, 0.6)};
  Builder g;
  g.add(moving(0.0, -5.0, 0.0, 4.0, CURL_SPIN), true);
  for (int k = 0; k < 3; ++k) g.add(moving(xs[k], ys[k], 0.0, 0.0, 0.0), false);
  ThinkBoard out;
  out.turn = 10;
  FSBoard& f = g.done();
  EXPECT_EQ(simulate(out, f), 2);
  EXPECT_EQ(f.events, EVENT_LIMIT + 1);
  ASSERT_EQ(out.count[BLACK], 4);
  // The exact model keeps positions in single precision: the stones at rest
  // come back rounded, which the fast model never does.
  int rounded = 0;
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 3; ++k) {
      rounded += out.stones[BLACK][i].x == static_cast<double>(static_cast<float>(xs[k])) &&
                 out.stones[BLACK][i].y == static_cast<double>(static_cast<float>(ys[k]));
    }
  }
  EXPECT_EQ(rounded, 3);
}

TEST(FSBoardSimulate, ExactFallbackFoulsLikeTheFastPath) {
  for (const uint32_t state : {0u, STONE_IN_FGZ | STONE_PROTECTED}) {
    // A guard already moving at the hand-over slides out at the side.
    Builder g;
    g.add(moving(2.0, -3.0, M_PI / 2, 3.0, CURL_SPIN, state), true);
    g.add(moving(0.0, -1.0, 0.0, 0.0, 0.0, 1), false);
    ThinkBoard out = markedBoard();
    const ThinkBoard before = out;
    const int outcome = exactFallback(g.done(), out, SIM_STEP);
    if (state & STONE_PROTECTED) {
      EXPECT_EQ(outcome, 0);
      expectSameBoard(out, before);
    } else {
      EXPECT_EQ(outcome, 2);
      EXPECT_EQ(out.count[BLACK], 0);
      ASSERT_EQ(out.count[WHITE], 1);
      EXPECT_EQ(out.stones[WHITE][0].y, -1.0);
    }
  }
}

TEST(FSBoardExam, ReportsTheFirstViolation) {
  bool ok = true;
  {
    Builder g;
    for (int i = 0; i < 9; ++i) g.add(moving(0.0, 0.3 * i, 0.0, 0.0, 0.0, 1), false);
    g.add(moving(0.0, -3.0, 0.0, 2.0, 0.0, 0), true);
    EXPECT_EQ(stderrOf(g.done(), &ok), "FSBoard : illegal number of stones( WHITE9 ).\n");
    EXPECT_FALSE(ok);
    EXPECT_CHECK_FAILS(
        {
          ThinkBoard out;
          simulate(out, g.b);
        },
        "pbd->exam()");
  }
  Builder g;
  const int a = g.add(moving(0.0, -3.0, 0.0, 2.0, 0.0), true);
  const int c = g.add(moving(0.0, -2.0, 0.0, 2.0, 0.0), true);
  const int r = g.add(moving(0.0, 0.0, 0.0, 0.0, 0.0), false);
  FSBoard& f = g.done();
  EXPECT_EQ(stderrOf(f, &ok), "");
  EXPECT_TRUE(ok);

  FSBoard bad = f;
  bad.asleeps.set(c);
  EXPECT_EQ(stderrOf(bad, &ok), "FSBoard::exam() : awakes and asleeps inexclusive.\n");
  bad = f;
  bad.aw_stone[c].awakes.set(c);
  EXPECT_EQ(stderrOf(bad, &ok), "FSBoard::exam() : aw_stone(1)'s awakes holds myself.\n");
  bad = f;
  bad.asleeps.reset(r);
  bad.aw_stone[c].asleeps = bitSet();
  EXPECT_EQ(stderrOf(bad, &ok),
            "FSBoard::exam() : all asleeps doesn't hold aw_stone(0)'s asleeps.\n");
  bad.aw_stone[a].asleeps = bitSet();
  bad.aw_stone[a].awakes.set(9);
  EXPECT_EQ(stderrOf(bad, &ok),
            "FSBoard::exam() : all awakes doesn't hold aw_stone(0)'s awakes.\n");
  EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace Kelp
