#include "referee/rules.h"

#include <gtest/gtest.h>

#include "kelpsimulator/primitive.h"

namespace Kelp::Referee {
namespace {

Sheet sheetWith(std::initializer_list<std::tuple<int, double, double>> stones) {
  Sheet s;
  for (const auto& [slot, x, y] : stones) s[slot] = {true, x, y};
  return s;
}

TEST(ScoreEnd, CountsStonesNearerThanTheOpponentsNearest) {
  // Even slots belong to the side that threw first in the end; slot 6 lies
  // outside the house.
  const Sheet s =
      sheetWith({{0, 0.0, 0.5}, {2, 0.9, 0.0}, {4, 0.0, -1.2}, {1, 1.0, 0.0}, {6, 1.5, 1.5}});
  EXPECT_TRUE(scoreEnd(s, SIDE_A).side == SIDE_A && scoreEnd(s, SIDE_A).points == 2);
  EXPECT_EQ(scoreEnd(s, SIDE_B).side, SIDE_B) << "the same stones, thrown first by B";
  const Sheet alone = sheetWith({{1, 0.0, 0.3}, {3, 0.0, 1.9}, {5, -1.0, -1.0}, {0, 0.0, -2.5}});
  EXPECT_TRUE(scoreEnd(alone, SIDE_A).side == SIDE_B && scoreEnd(alone, SIDE_A).points == 3);
  // Blank: an empty house, a stone exactly on its edge, a tie for nearest.
  EXPECT_EQ(scoreEnd(Sheet{}, SIDE_A).side, -1);
  EXPECT_EQ(scoreEnd(sheetWith({{0, 0.0, -IN_HOUSE_RADIUS}}), SIDE_A).side, -1);
  const EndScore tie = scoreEnd(sheetWith({{0, 0.5, 0.0}, {1, -0.5, 0.0}, {2, 0.1, 1.0}}), SIDE_A);
  EXPECT_TRUE(tie.side == -1 && tie.points == 0);
  Sheet gone = sheetWith({{0, 0.0, 0.0}, {1, 0.0, 1.0}});
  gone[0].inPlay = false;
  EXPECT_EQ(scoreEnd(gone, SIDE_A).side, SIDE_B) << "a stone out of play does not count";
}

TEST(ProtectedStones, OnlyTheOpponentsGuardsDuringTheFirstFourThrows) {
  // Slots 0 and 2: guards of the first thrower; slot 1: in the house.
  const Sheet s = sheetWith({{0, 0.0, -3.0}, {1, 0.0, -0.5}, {2, 0.5, -4.0}});
  const auto forShot3 = protectedStones(s, 3);
  EXPECT_TRUE(forShot3[0] && forShot3[2] && !forShot3[1]);
  EXPECT_FALSE(protectedStones(s, 2)[0]) << "a side's own guards are fair game";
  const Sheet guard = sheetWith({{1, 0.0, -3.0}});
  EXPECT_TRUE(protectedStones(guard, 2)[1]);
  EXPECT_FALSE(protectedStones(guard, 4)[1]) << "the fifth throw is free";
}

}  // namespace
}  // namespace Kelp::Referee
