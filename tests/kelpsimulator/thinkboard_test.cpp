#include "kelpsimulator/thinkboard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/death.h"

namespace Kelp {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

// Puts shot k of the record at board position (x, y).
void place(ClientField& f, int k, double x, double y) {
  f.setPosition(k, static_cast<float>(x + RECORD_TEE_X),
                static_cast<float>(static_cast<double>(RECORD_TEE_Y) - y));
}

ThinkBoard boardAt(int turn) {
  ThinkBoard b;
  b.turn = turn;
  return b;
}

void build(const ClientField& f) {
  const ThinkBoard b(f);
  (void)b;
}

TEST(ThinkBoard, EmptyRecordGivesAnEmptyBoard) {
  ClientField f;
  f.end = 2;
  f.last_end = 8;
  f.rel_score = -3;
  const ThinkBoard b(f);
  EXPECT_EQ(b.getTurn(), 16);
  EXPECT_EQ(b.count[BLACK] + b.count[WHITE], 0);
  EXPECT_EQ(b.end_score_now, 0);
  EXPECT_EQ(b.front_y, 999.0);
  EXPECT_EQ(b.last_index, -1);
  EXPECT_EQ(b.ends_left, 5);
  EXPECT_EQ(b.score_diff, -3);
}

TEST(ThinkBoard, RecordIsConvertedFilteredSortedAndFlagged) {
  ClientField f;
  f.shot = 3;                       // turn 13: WHITE throws next, BLACK has just thrown
  f.position[0] = {2.375f, 4.88f};  // the tee: exactly (0, 0)
  place(f, 2, 0.0, -4.0);           // BLACK guard
  place(f, 4, 3.0, -4.0);           // beside the sheet: dropped
  place(f, 1, -0.5, -5.0);          // WHITE guard
  // The (0, 0) pairs of the other shots lie outside the play area.
  const ThinkBoard b(f);
  ASSERT_EQ(b.count[BLACK], 2);
  ASSERT_EQ(b.count[WHITE], 1);
  EXPECT_EQ(b.in_house[BLACK], 1);
  EXPECT_EQ(b.in_house[WHITE], 0);
  EXPECT_EQ(b.stones[BLACK][0].r, 0.0);
  EXPECT_NEAR(b.stones[BLACK][1].y, -4.0, 1e-6);
  EXPECT_NEAR(b.stones[BLACK][1].th, -M_PI / 2, 1e-6);
  EXPECT_NEAR(b.stones[WHITE][0].x, -0.5, 1e-6);
  EXPECT_NEAR(b.front_y, -5.0, 1e-6);
  EXPECT_EQ(b.end_score_now, 1);
  // House stones carry no flags; the guard of the side that has just thrown
  // is protected, the other side's guard only marked.
  EXPECT_EQ(b.state[BLACK][0], 0u);
  EXPECT_EQ(b.state[BLACK][1], STONE_IN_FGZ | STONE_PROTECTED);
  EXPECT_EQ(b.state[WHITE][0], 1u | STONE_IN_FGZ);
}

TEST(ThinkBoard, CountScore) {
  {  // BLACK nearest: counts its stones nearer than WHITE's nearest.
    ThinkBoard b = boardAt(0);
    b.setStone(BLACK, 0.0, 0.5);
    b.setStone(WHITE, 1.0, 0.0);
    b.setStone(BLACK, 0.0, -0.9);
    b.setStone(BLACK, 1.2, 0.0);
    EXPECT_EQ(b.countScore(), 2);
  }
  {  // Only WHITE in the house; the BLACK guard does not count.
    ThinkBoard b = boardAt(0);
    b.setStone(WHITE, 0.0, 1.5);
    b.setStone(WHITE, 0.2, 0.0);
    b.setStone(WHITE, -1.0, -1.0);
    b.setStone(BLACK, 0.0, -6.0);
    EXPECT_EQ(b.countScore(), -3);
  }
  {  // Equal nearest distances: nobody scores, whatever else is in the house.
    ThinkBoard b = boardAt(0);
    b.setStone(BLACK, 0.0, 0.6);
    b.setStone(WHITE, 0.0, -0.6);
    b.setStone(BLACK, 0.0, 0.8);
    b.setStone(BLACK, 0.9, 0.0);
    EXPECT_EQ(b.countScore(), 0);
  }
  {  // WHITE nearest with BLACK stones in the house behind it.
    ThinkBoard b = boardAt(0);
    b.setStone(BLACK, 0.0, 1.0);
    b.setStone(WHITE, 0.0, 0.2);
    b.setStone(WHITE, 0.0, 0.5);
    b.setStone(WHITE, 0.0, 1.5);
    EXPECT_EQ(b.countScore(), -2);
  }
  {  // A stone just outside the house never scores, even as the nearest.
    ThinkBoard b = boardAt(0);
    b.setStone(WHITE, 0.0, -IN_HOUSE_RADIUS);
    EXPECT_EQ(b.in_house[WHITE], 0);
    EXPECT_EQ(b.countScore(), 0);
  }
}

TEST(ThinkBoard, InsertionKeepsOrderAndMovesStatesWithPutStone) {
  ThinkBoard b = boardAt(0);
  b.putStone(WHITE, 0.0, 1.0);
  b.state[WHITE][0] = 1u | STONE_IN_FGZ;  // marks the first stone
  b.putStone(WHITE, 1.0, 0.0);            // same distance: goes after it
  EXPECT_EQ(b.last_index, 1);
  b.putStone(WHITE, 0.0, -1.0);  // same distance again: last
  EXPECT_EQ(b.last_index, 2);
  EXPECT_EQ(b.stones[WHITE][0].y, 1.0);
  EXPECT_EQ(b.stones[WHITE][1].x, 1.0);
  EXPECT_EQ(b.stones[WHITE][2].y, -1.0);
  b.putStone(WHITE, 0.0, 0.1);  // to the front: the marked state moves along
  EXPECT_EQ(b.last_index, 0);
  EXPECT_EQ(b.state[WHITE][1], 1u | STONE_IN_FGZ);
  b.putStone(WHITE, 0.0, -5.0);  // outside the house: behind all of them
  EXPECT_EQ(b.last_index, 4);
  EXPECT_EQ(b.in_house[WHITE], 4);
  b.putStone(WHITE, 0.0, 1.2);  // in the house, goes before the guard
  EXPECT_EQ(b.last_index, 4);
  EXPECT_EQ(b.stones[WHITE][5].y, -5.0);

  // setStone leaves states where they are.
  ThinkBoard s = boardAt(0);
  s.setStone(BLACK, 0.0, 1.0);
  s.state[BLACK][0] = STONE_IN_FGZ;
  s.setStone(BLACK, 0.0, 0.5);
  EXPECT_EQ(s.state[BLACK][0], STONE_IN_FGZ);
  EXPECT_EQ(s.state[BLACK][1], 0u);
  EXPECT_EQ(s.last_index, -1);
}

TEST(ThinkBoard, FreeGuardFlagsOverTheFirstThrows) {
  ThinkBoard b;  // turn 16
  b.putStone(BLACK, 0.0, -3.0);
  b.afterShot(1);  // turn 15: BLACK's guard protected while WHITE throws
  EXPECT_EQ(b.state[BLACK][0], STONE_IN_FGZ | STONE_PROTECTED);
  EXPECT_EQ(b.front_y, -3.0);

  b.putStone(WHITE, 0.5, -4.0);
  b.afterShot(1);  // turn 14
  EXPECT_EQ(b.getTurn(), 14);
  EXPECT_EQ(b.state[WHITE][0], 1u | STONE_IN_FGZ | STONE_PROTECTED);
  EXPECT_EQ(b.state[BLACK][0], STONE_IN_FGZ);
  EXPECT_EQ(b.front_y, -4.0);

  b.afterShot(0);  // turn 13: BLACK's throw left play
  EXPECT_EQ(b.state[WHITE][0], 1u | STONE_IN_FGZ);
  EXPECT_EQ(b.state[BLACK][0], STONE_IN_FGZ | STONE_PROTECTED);

  // The fourth throw ends the free-guard period, whatever it did.
  for (int changed = 0; changed <= 2; ++changed) {
    ThinkBoard c = b;
    if (changed == 1) c.putStone(WHITE, -0.5, -6.0);
    if (changed == 2) {
      c.in_house[BLACK] = c.in_house[WHITE] = c.count[BLACK] = c.count[WHITE] = 0;
      c.setStone(BLACK, 0.0, -3.0);
      c.setStone(WHITE, 0.5, -4.0);
    }
    c.afterShot(changed);
    EXPECT_EQ(c.getTurn(), 12);
    for (int col = 0; col < 2; ++col) {
      for (int i = 0; i < c.count[col]; ++i) {
        EXPECT_EQ(c.state[col][i] & STONE_PROTECTED, 0u) << changed << " " << col << " " << i;
      }
    }
  }
}

TEST(ThinkBoard, RebuildAfterContactRecomputesEverything) {
  ThinkBoard b = boardAt(14);  // BLACK throws
  b.setStone(BLACK, 0.0, 1.0);
  b.state[BLACK][0] = STONE_IN_FGZ | STONE_PROTECTED;  // stale flags

  // BLACK's throw touched the stone; the lists are rebuilt.
  b.in_house[BLACK] = b.in_house[WHITE] = b.count[BLACK] = b.count[WHITE] = 0;
  b.setStone(BLACK, 2.1, 0.0);   // outside the house beside the tee line: no zone
  b.setStone(BLACK, 0.0, -2.5);  // guard in front of the house
  b.setStone(WHITE, 0.0, -3.0);  // WHITE guard
  b.afterShot(2);                // turn 13: m = WHITE, o = BLACK
  EXPECT_EQ(b.getTurn(), 13);
  EXPECT_EQ(b.state[BLACK][0], 0u);
  EXPECT_EQ(b.state[BLACK][1], STONE_IN_FGZ | STONE_PROTECTED);
  EXPECT_EQ(b.state[WHITE][0], 1u | STONE_IN_FGZ);
  EXPECT_EQ(b.front_y, -3.0);
  EXPECT_EQ(b.end_score_now, 0);

  // Everything knocked out: the score is 0, front_y stays as it was.
  b.in_house[BLACK] = b.in_house[WHITE] = b.count[BLACK] = b.count[WHITE] = 0;
  b.afterShot(2);
  EXPECT_EQ(b.end_score_now, 0);
  EXPECT_EQ(b.front_y, -3.0);
}

TEST(ThinkBoard, StonePositionsListBlackFirstInListOrder) {
  ThinkBoard b = boardAt(0);
  b.setStone(WHITE, 0.0, 0.25);
  b.setStone(BLACK, 0.0, -4.0);
  b.setStone(BLACK, 0.5, 0.0);
  const StonePositions p = b.getStonePositions();
  ASSERT_EQ(p.size, 3);
  EXPECT_EQ(p.xy[0][0], 0.5f);
  EXPECT_EQ(p.xy[1][1], -4.0f);
  EXPECT_EQ(p.xy[2][1], 0.25f);
  int n = 0;
  for (const auto& xy : p) n += xy[1] != 0.0f;
  EXPECT_EQ(n, 2);
}

TEST(ThinkBoardDeathTest, BrokenInvariantsStopTheProgram) {
  // Shot 2 with five stones in play: the third BLACK stone is one too many
  // even counting the stone being thrown.
  ClientField five;
  five.shot = 2;
  for (int k = 0; k < 5; ++k) place(five, k, 0.3 * k - 0.6, -3.0);
  EXPECT_DEATH(build(five),
               AllOf(HasSubstr("ThinkBoard : illegal number of stones( BLACK3t13 ).\n"),
                     HasSubstr("`ExamStoneNumber(col, turn - 1, *this)' failed")));
  // Two BLACK stones at shot 2 pass the insertion but not the board check.
  ClientField two;
  two.shot = 2;
  place(two, 0, 0.0, -3.0);
  place(two, 2, 0.0, -4.0);
  EXPECT_DEATH(build(two),
               AllOf(HasSubstr("ThinkBoard : illegal number of stones( BLACK2t14 ).\n"),
                     HasSubstr("`ExamStoneNumber(BLACK, board.getTurn(), board)' failed")));
  ClientField over;
  over.shot = 16;
  EXPECT_CHECK_FAILS(build(over), "Kelp::TURN_LAST < turn && turn <= Kelp::TURN_FIRST");

  ThinkBoard b = boardAt(5);
  b.setStone(WHITE, 0.0, 0.5);
  b.setStone(WHITE, 0.0, 1.0);
  b.state[WHITE][0] = 1;
  b.state[WHITE][1] = 0;  // colour bit lost
  EXPECT_DEATH(b.afterShot(0), AllOf(HasSubstr("ThinkBoard : illegal stone state( WHITE1 ).\n"),
                                     HasSubstr("`ExamStoneState(board)' failed")));
  b.state[WHITE][0] = b.state[WHITE][1] = 1;
  EXPECT_CHECK_FAILS(b.afterShot(3), "changed == 0 || changed == 1 || changed == 2");
  ThinkBoard last = boardAt(0);
  EXPECT_CHECK_FAILS(last.afterShot(0), "Kelp::TURN_LAST < turn && turn <= Kelp::TURN_FIRST");
  for (int i = 0; i < 8; ++i) last.setStone(BLACK, 0.0, i);
  EXPECT_CHECK_FAILS(last.setStone(BLACK, 0.0, 9.0), "count[col] < 8");

  // A guard outside the play area's y range during the free-guard period.
  ThinkBoard g = boardAt(14);
  g.setStone(WHITE, 0.0, -37.0);
  EXPECT_FALSE(ExamFreeGuard(g));
  g.turn = 12;
  EXPECT_TRUE(ExamFreeGuard(g));
}

TEST(ThinkBoard, FromRecordRejectsBadRecordsWithoutStopping) {
  std::string error;
  ClientField f;
  f.shot = 16;
  EXPECT_FALSE(ThinkBoard::fromRecord(f, &error).has_value());
  EXPECT_EQ(error, "ThinkBoard : illegal shot number( 16 ).");
  f.shot = -1;
  EXPECT_FALSE(ThinkBoard::fromRecord(f, &error).has_value());
  EXPECT_EQ(error, "ThinkBoard : illegal shot number( -1 ).");

  f.shot = 2;
  for (int k = 0; k < 5; ++k) place(f, k, 0.3 * k - 0.6, -3.0);
  EXPECT_FALSE(ThinkBoard::fromRecord(f, &error).has_value());
  EXPECT_EQ(error, "ThinkBoard : illegal number of stones( BLACK3t14 ).");
  place(f, 2, 9.0, 9.0);
  place(f, 3, 9.0, 9.0);
  place(f, 4, 9.0, 9.0);
  error.clear();
  const auto ok = ThinkBoard::fromRecord(f, &error);
  ASSERT_TRUE(ok.has_value()) << error;
  EXPECT_EQ(ok->count[BLACK], 1);
  EXPECT_EQ(ok->count[WHITE], 1);
  EXPECT_EQ(ok->getTurn(), 14);

  f.end = INT32_MIN;
  f.last_end = INT32_MAX;
  EXPECT_FALSE(ThinkBoard::fromRecord(f, nullptr).has_value());
}

}  // namespace
}  // namespace Kelp
