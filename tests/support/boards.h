// Board builders and comparisons shared by the physics tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "kelpsimulator/thinkboard.h"

namespace Kelp {

struct At {
  int col;
  double x, y;
};

// A board at the given turn holding the stones; with rebuilt set, flags and
// score as after a collision on the throw before.
inline ThinkBoard boardWith(int turn, const std::vector<At>& stones, bool rebuilt = true) {
  ThinkBoard b;
  b.turn = turn + rebuilt;
  for (const At& p : stones) b.setStone(p.col, p.x, p.y);
  if (rebuilt) b.afterShot(2);
  return b;
}

inline std::vector<At> stonesOf(const ThinkBoard& b) {
  std::vector<At> out;
  for (int col = 0; col < 2; ++col) {
    for (int i = 0; i < b.count[col]; ++i)
      out.push_back({col, b.stones[col][i].x, b.stones[col][i].y});
  }
  return out;
}

inline void expectSameBoard(const ThinkBoard& a, const ThinkBoard& b) {
  EXPECT_EQ(a.turn, b.turn);
  EXPECT_EQ(a.end_score_now, b.end_score_now);
  EXPECT_EQ(a.front_y, b.front_y);
  for (int col = 0; col < 2; ++col) {
    ASSERT_EQ(a.count[col], b.count[col]);
    EXPECT_EQ(a.in_house[col], b.in_house[col]);
    for (int i = 0; i < a.count[col]; ++i) {
      EXPECT_EQ(a.stones[col][i].x, b.stones[col][i].x);
      EXPECT_EQ(a.stones[col][i].y, b.stones[col][i].y);
      EXPECT_EQ(a.state[col][i], b.state[col][i]);
    }
  }
}

}  // namespace Kelp
