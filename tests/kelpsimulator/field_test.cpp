#include "kelpsimulator/field.h"

#include <gtest/gtest.h>

#include "support/death.h"

namespace Kelp {
namespace {

// Scores of successive ends through SETSTATE and SCORE are checked with the
// record commands; here the same end scored twice.
TEST(ClientField, ScoringAnEndTwiceOverwritesTheEndButAddsToTheTotals) {
  ClientField f;
  f.addScore(2);
  f.addScore(-1);
  EXPECT_EQ(f.end_score[0][0], 0);
  EXPECT_EQ(f.end_score[0][1], 1);
  EXPECT_EQ(f.score[0], 2);
  EXPECT_EQ(f.score[1], 1);
  EXPECT_EQ(f.rel_score, 1);
  // And back: the end's entry always names one scorer only.
  f.addScore(3);
  EXPECT_EQ(f.end_score[0][0], 3);
  EXPECT_EQ(f.end_score[0][1], 0);
  EXPECT_EQ(f.rel_score, 4);
}

TEST(ClientField, InvariantsStopTheProgram) {
  ClientField f;
  f.end = 16;
  EXPECT_CHECK_FAILS(f.addScore(1), "0<=end && end<16");
  f.end = -1;
  EXPECT_CHECK_FAILS(f.addScore(1), "0<=end && end<16");
  EXPECT_CHECK_FAILS(f.setState(0, 0, 1, 2), "examColor(col)");
}

}  // namespace
}  // namespace Kelp
