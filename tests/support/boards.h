// Board comparisons shared by the physics tests.
#pragma once

#include <gtest/gtest.h>

#include "kelpsimulator/thinkboard.h"

namespace Kelp {

// Every member the game reads, stones and states of the lists in play.
inline void expectSameBoard(const ThinkBoard& a, const ThinkBoard& b) {
  EXPECT_EQ(a.ends_left, b.ends_left);
  EXPECT_EQ(a.turn, b.turn);
  EXPECT_EQ(a.score_diff, b.score_diff);
  EXPECT_EQ(a.end_score_now, b.end_score_now);
  EXPECT_EQ(a.last_index, b.last_index);
  EXPECT_EQ(a.front_y, b.front_y);
  for (int col = 0; col < 2; ++col) {
    EXPECT_EQ(a.in_house[col], b.in_house[col]) << col;
    ASSERT_EQ(a.count[col], b.count[col]) << col;
    for (int i = 0; i < a.count[col]; ++i) {
      EXPECT_EQ(a.stones[col][i].x, b.stones[col][i].x) << col << " " << i;
      EXPECT_EQ(a.stones[col][i].y, b.stones[col][i].y) << col << " " << i;
      EXPECT_EQ(a.state[col][i], b.state[col][i]) << col << " " << i;
    }
  }
}

}  // namespace Kelp
