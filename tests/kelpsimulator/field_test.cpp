#include "kelpsimulator/field.h"

#include <gtest/gtest.h>

#include "support/death.h"

namespace Kelp {
namespace {

// Scores of successive ends through SETSTATE and SCORE are checked with the
// record commands; here the same end scored three times: the end's entry
// names one scorer only, the totals add up.
TEST(ClientField, ScoringAnEndAgainOverwritesTheEndButAddsToTheTotals) {
  ClientField f;
  const struct {
    int score, black, white, rel;
  } steps[] = {{2, 2, 0, 2}, {-1, 0, 1, 1}, {3, 3, 0, 4}};
  for (const auto& s : steps) {
    f.addScore(s.score);
    EXPECT_EQ(f.end_score[0][0], s.black) << s.score;
    EXPECT_EQ(f.end_score[0][1], s.white) << s.score;
    EXPECT_EQ(f.rel_score, s.rel);
  }
  EXPECT_EQ(f.score[0], 5);
  EXPECT_EQ(f.score[1], 1);
  f.end = 16;
  EXPECT_CHECK_FAILS(f.addScore(1), "0<=end && end<16");
  EXPECT_CHECK_FAILS(f.setState(0, 0, 1, 2), "examColor(col)");
}

}  // namespace
}  // namespace Kelp
