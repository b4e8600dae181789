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
  // Even slots belong to the side that threw first in the end.
  const Sheet s = sheetWith({{0, 0.0, 0.5},
                             {2, 0.9, 0.0},
                             {4, 0.0, -1.2},
                             {1, 1.0, 0.0},
                             {6, 1.5, 1.5}});  // slot 6 is outside the house
  EXPECT_EQ(scoreEnd(s, SIDE_A).side, SIDE_A);
  EXPECT_EQ(scoreEnd(s, SIDE_A).points, 2);
  // The same stones when B threw first belong to B.
  EXPECT_EQ(scoreEnd(s, SIDE_B).side, SIDE_B);
  EXPECT_EQ(scoreEnd(s, SIDE_B).points, 2);
  // Without an opponent in the house every stone in the house counts.
  const Sheet alone = sheetWith({{1, 0.0, 0.3}, {3, 0.0, 1.9}, {5, -1.0, -1.0}, {0, 0.0, -2.5}});
  EXPECT_EQ(scoreEnd(alone, SIDE_A).side, SIDE_B);
  EXPECT_EQ(scoreEnd(alone, SIDE_A).points, 3);
}

TEST(ScoreEnd, BlankWhenTheHouseIsEmptyOrTheNearestTie) {
  EXPECT_EQ(scoreEnd(Sheet{}, SIDE_A).side, -1);
  // A stone exactly on the house edge is not in the house.
  const Sheet edge = sheetWith({{0, 0.0, -IN_HOUSE_RADIUS}, {1, 0.0, -3.0}});
  EXPECT_EQ(scoreEnd(edge, SIDE_A).side, -1);
  EXPECT_EQ(scoreEnd(edge, SIDE_A).points, 0);
  const Sheet tie = sheetWith({{0, 0.5, 0.0}, {1, -0.5, 0.0}, {2, 0.1, 1.0}});
  EXPECT_EQ(scoreEnd(tie, SIDE_A).side, -1);
  // A stone that left play does not count, wherever its last position was.
  Sheet gone = sheetWith({{0, 0.0, 0.0}, {1, 0.0, 1.0}});
  gone[0].inPlay = false;
  EXPECT_EQ(scoreEnd(gone, SIDE_A).side, SIDE_B);
}

TEST(OrderOfPlay, ScorerThrowsFirstNextEndAndBlankEndsKeepTheOrder) {
  EXPECT_EQ(nextFirstSide(SIDE_A, {SIDE_A, 2}), SIDE_A);
  EXPECT_EQ(nextFirstSide(SIDE_A, {SIDE_B, 1}), SIDE_B);
  EXPECT_EQ(nextFirstSide(SIDE_B, {}), SIDE_B);
  EXPECT_EQ(throwerOf(SIDE_B, 0), SIDE_B);
  EXPECT_EQ(throwerOf(SIDE_B, 15), SIDE_A);
  EXPECT_EQ(colorOf(SIDE_B, SIDE_A), 1);
}

TEST(ProtectedStones, OnlyTheOpponentsGuardsDuringTheFirstFourThrows) {
  // Slot 0 and 2: guards of the first thrower; slot 1: in the house.
  const Sheet s = sheetWith({{0, 0.0, -3.0}, {1, 0.0, -0.5}, {2, 0.5, -4.0}});
  const auto forShot3 = protectedStones(s, 3);  // the second thrower throws
  EXPECT_TRUE(forShot3[0]);
  EXPECT_TRUE(forShot3[2]);
  EXPECT_FALSE(forShot3[1]);
  const auto forShot2 = protectedStones(s, 2);  // the first thrower: its own guards are fair game
  EXPECT_FALSE(forShot2[0]);
  EXPECT_FALSE(forShot2[1]) << "in the house, not a guard";
  const Sheet guard1 = sheetWith({{1, 0.0, -3.0}, {0, 0.0, -FREE_GUARD_Y_MAX / 2}});
  EXPECT_TRUE(protectedStones(guard1, 2)[1]);
  EXPECT_FALSE(protectedStones(guard1, 2)[0]);
  EXPECT_FALSE(protectedStones(guard1, 4)[1]) << "the fifth throw is free";
}

TEST(ToRecord, ConvertsFramesAndMarksStonesOutOfPlay) {
  Sheet s = sheetWith({{0, 0.0, 0.0}, {1, -1.0, 1.5}});
  s[2] = {false, 0.3, 0.3};
  const RecordPositions r = toRecord(s);
  EXPECT_EQ(r[0][0], 2.375f);
  EXPECT_EQ(r[0][1], 4.88f);
  EXPECT_FLOAT_EQ(r[1][0], 1.375f);
  EXPECT_FLOAT_EQ(r[1][1], 3.38f);
  for (int k = 2; k < 16; ++k) {
    EXPECT_EQ(r[k][0], 0.0f);
    EXPECT_EQ(r[k][1], 0.0f);
    // The engine drops (0, 0): it lies outside the play area.
    EXPECT_FALSE(isInPlayArea(toBoardX(r[k][0]), toBoardY(r[k][1])));
  }
}

}  // namespace
}  // namespace Kelp::Referee
