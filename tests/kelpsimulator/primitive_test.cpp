#include "kelpsimulator/primitive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/death.h"

namespace Kelp {
namespace {

TEST(Primitive, DerivedConstantsAreTheExactDoubles) {
  EXPECT_EQ(THROW_Y, -36.399999499320984);
  EXPECT_EQ(IN_HOUSE_RADIUS, 1.975000038743019);
  EXPECT_EQ(PLAY_AREA_HALF_WIDTH, 2.230000004172325);
  EXPECT_EQ(PLAY_AREA_Y_MIN, -36.54499949514866);
  EXPECT_EQ(PLAY_AREA_Y_MAX, 1.975000038743019);
  EXPECT_EQ(FREE_GUARD_Y_MAX, -0.14499999582767487);
}

TEST(Primitive, PlayAreaBoundsAreInclusive) {
  const double up = std::nextafter(PLAY_AREA_Y_MAX, 10.0);
  EXPECT_TRUE(isInPlayArea(0.0, PLAY_AREA_Y_MAX));
  EXPECT_FALSE(isInPlayArea(0.0, up));
  EXPECT_TRUE(isInPlayArea(PLAY_AREA_HALF_WIDTH, 0.0));
  EXPECT_TRUE(isInPlayArea(-PLAY_AREA_HALF_WIDTH, PLAY_AREA_Y_MIN));
  EXPECT_FALSE(isInPlayArea(std::nextafter(PLAY_AREA_HALF_WIDTH, 10.0), 0.0));
  EXPECT_FALSE(isInPlayArea(0.0, std::nextafter(PLAY_AREA_Y_MIN, -100.0)));
  // The float form compares against the single-precision limits.
  EXPECT_TRUE(isInPlayArea(2.23f, 1.975f));
  EXPECT_FALSE(isInPlayArea(std::nextafter(2.23f, 3.0f), 0.0f));
  EXPECT_FALSE(isInPlayArea(0.0f, std::nextafter(-36.545f, -40.0f)));
}

TEST(Primitive, HouseAndFreeGuardZoneAtTheirBoundaries) {
  EXPECT_FALSE(inHouse(IN_HOUSE_RADIUS));
  EXPECT_TRUE(inHouse(std::nextafter(IN_HOUSE_RADIUS, 0.0)));
  // Exactly on the house edge, in front of the tee line: a guard.
  EXPECT_TRUE(isInFreeGuardZone(IN_HOUSE_RADIUS, -1.0));
  EXPECT_FALSE(isInFreeGuardZone(std::nextafter(IN_HOUSE_RADIUS, 0.0), -1.0));
  EXPECT_FALSE(isInFreeGuardZone(5.0, FREE_GUARD_Y_MAX));
  EXPECT_TRUE(isInFreeGuardZone(5.0, std::nextafter(FREE_GUARD_Y_MAX, -1.0)));
  EXPECT_TRUE(isInFreeGuardZone(30.0, -30.0));
}

TEST(Primitive, FreeGuardZoneAssertsThePlayAreaForStonesOutsideTheHouse) {
  EXPECT_CHECK_FAILS(isInFreeGuardZone(40.0, -40.0), "isInPlayArea(FX_TEE, y)");
}

TEST(Primitive, FrameConversion) {
  EXPECT_EQ(toBoardX(2.375f), 0.0);
  EXPECT_EQ(toBoardY(4.88f), 0.0);
  EXPECT_EQ(toBoardX(0.0f), -2.375);
  EXPECT_EQ(toBoardY(0.0f), static_cast<double>(4.88f));
  // Travel toward smaller record y is travel toward larger board y.
  EXPECT_GT(toBoardY(3.0f), toBoardY(4.0f));
}

}  // namespace
}  // namespace Kelp
