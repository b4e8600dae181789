#include "kelpsimulator/field.h"

#include <gtest/gtest.h>

#include "support/death.h"

namespace Kelp {
namespace {

TEST(ClientField, FreshRecordIsZero) {
  ClientField f;
  EXPECT_EQ(f.rel_score, 0);
  EXPECT_EQ(f.shot, 0);
  EXPECT_EQ(f.end, 0);
  EXPECT_EQ(f.position[15].x, 0.0f);
  f.addScore(0);  // passes the invariant
  EXPECT_EQ(f.end_score[0][0], 0);
}

TEST(ClientField, ScoresOfSuccessiveEnds) {
  ClientField f;
  f.end = 0;
  f.addScore(3);
  f.end = 1;
  f.addScore(-2);
  f.end = 2;
  f.addScore(0);
  EXPECT_EQ(f.score[0], 3);
  EXPECT_EQ(f.score[1], 2);
  EXPECT_EQ(f.rel_score, 1);
  EXPECT_EQ(f.end_score[0][0], 3);
  EXPECT_EQ(f.end_score[0][1], 0);
  EXPECT_EQ(f.end_score[1][0], 0);
  EXPECT_EQ(f.end_score[1][1], 2);
  EXPECT_EQ(f.end_score[2][0], 0);
  EXPECT_EQ(f.end_score[2][1], 0);
}

TEST(ClientField, ScoringAnEndTwiceOverwritesTheEndButAddsToTheTotals) {
  ClientField f;
  f.addScore(2);
  f.addScore(-1);
  EXPECT_EQ(f.end_score[0][0], 0);
  EXPECT_EQ(f.end_score[0][1], 1);
  EXPECT_EQ(f.score[0], 2);
  EXPECT_EQ(f.score[1], 1);
  EXPECT_EQ(f.rel_score, 1);
}

TEST(ClientField, InvariantsStopTheProgram) {
  ClientField f;
  f.end = 16;
  EXPECT_CHECK_FAILS(f.addScore(1), "0<=end && end<16");
  f.end = -1;
  EXPECT_CHECK_FAILS(f.addScore(1), "0<=end && end<16");
  EXPECT_CHECK_FAILS(f.setState(0, 0, 1, 2), "examColor(col)");
}

TEST(ClientField, SetStateWritesBothColourMembers) {
  ClientField f;
  f.setState(5, 2, 8, 1);
  EXPECT_EQ(f.shot, 5);
  EXPECT_EQ(f.end, 2);
  EXPECT_EQ(f.last_end, 8);
  EXPECT_EQ(f.color, 1u);
  EXPECT_EQ(f.my_color, 1u);
}

}  // namespace
}  // namespace Kelp
