#include "kelpsimulator/thinkboard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/boards.h"

namespace Kelp {
namespace {

TEST(ThinkBoard, CountScore) {
  const struct {
    std::vector<At> stones;
    int score;
  } cases[] = {
      {{{BLACK, 0.0, 0.5}, {WHITE, 1.0, 0.0}, {BLACK, 0.0, -0.9}, {BLACK, 1.2, 0.0}}, 2},
      {{{WHITE, 0.0, 1.5}, {WHITE, 0.2, 0.0}, {WHITE, -1.0, -1.0}, {BLACK, 0.0, -6.0}}, -3},
      // Equal nearest distances: nobody scores, whatever else is in the house.
      {{{BLACK, 0.0, 0.6}, {WHITE, 0.0, -0.6}, {BLACK, 0.0, 0.8}, {BLACK, 0.9, 0.0}}, 0},
      // Just outside the house a stone never scores, even as the nearest.
      {{{WHITE, 0.0, -IN_HOUSE_RADIUS}, {BLACK, 0.0, -3.0}}, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(boardWith(0, c.stones, false).countScore(), c.score);
}

TEST(ThinkBoard, StonesStaySortedByDistanceWithTheirStates) {
  ThinkBoard b = boardWith(0, {}, false);
  b.putStone(WHITE, 0.0, -5.0);
  b.putStone(WHITE, 1.0, 0.0);
  b.state[WHITE][0] = 1u | STONE_IN_FGZ;  // marks the stone at (1, 0), the nearer
  b.putStone(WHITE, 0.0, 0.1);            // to the front: the marked state moves along
  EXPECT_EQ(b.last_index, 0);
  EXPECT_EQ(b.state[WHITE][1], 1u | STONE_IN_FGZ);
  EXPECT_EQ(b.stones[WHITE][2].y, -5.0);
  EXPECT_EQ(b.in_house[WHITE], 2);
}

TEST(ThinkBoard, FreeGuardFlagsOverTheFirstThrows) {
  ThinkBoard b;  // turn 16
  b.putStone(BLACK, 0.0, -3.0);
  b.afterShot(1);  // 15: BLACK's guard protected while WHITE throws
  EXPECT_EQ(b.state[BLACK][0], STONE_IN_FGZ | STONE_PROTECTED);
  b.putStone(WHITE, 0.5, -4.0);
  b.afterShot(1);  // 14
  EXPECT_EQ(b.state[WHITE][0], 1u | STONE_IN_FGZ | STONE_PROTECTED);
  EXPECT_EQ(b.state[BLACK][0], STONE_IN_FGZ);
  EXPECT_EQ(b.front_y, -4.0);
  b.afterShot(0);  // 13: BLACK's stone left play
  EXPECT_EQ(b.state[WHITE][0], 1u | STONE_IN_FGZ);
  EXPECT_EQ(b.state[BLACK][0], STONE_IN_FGZ | STONE_PROTECTED);

  // The fourth throw ends the free-guard period, whatever it did.
  for (int changed = 0; changed <= 2; ++changed) {
    ThinkBoard c = b;
    if (changed == 1) c.putStone(WHITE, -0.5, -6.0);
    c.afterShot(changed);
    EXPECT_EQ(c.getTurn(), 12);
    for (int col = 0; col < 2; ++col)
      for (int i = 0; i < c.count[col]; ++i) EXPECT_EQ(c.state[col][i] & STONE_PROTECTED, 0u);
  }
}

// Bad shot numbers and too many stones are checked end to end (the GO
// fallback names them); here the stones a record drops and a range that
// would overflow.
TEST(ThinkBoard, FromRecordRejectsBadRecordsWithoutStopping) {
  std::string error;
  ClientField f;
  f.shot = 2;
  // Two stones in play (record frame), the rest at 0 0: off the sheet, dropped.
  for (int k = 0; k < 2; ++k) f.setPosition(k, 1.775f + 0.3f * k, 7.88f);
  const auto ok = ThinkBoard::fromRecord(f, &error);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(ok->count[BLACK] + ok->count[WHITE], 2);
  f.end = INT32_MIN;  // ends_left would overflow
  f.last_end = INT32_MAX;
  EXPECT_FALSE(ThinkBoard::fromRecord(f, nullptr));
}

}  // namespace
}  // namespace Kelp
