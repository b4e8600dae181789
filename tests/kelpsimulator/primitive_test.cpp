#include "kelpsimulator/primitive.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/death.h"

namespace Kelp {
namespace {

// The limits themselves (single-precision values widened) are pinned by the
// replay digests; here which side of each limit is in.
TEST(Primitive, PlayAreaHouseAndFreeGuardZoneAtTheirBoundaries) {
  const auto above = [](double v) { return std::nextafter(v, 100.0); };
  const auto below = [](double v) { return std::nextafter(v, -100.0); };
  const struct {
    bool got, expected;
  } cases[] = {
      {isInPlayArea(0.0, PLAY_AREA_Y_MAX), true},
      {isInPlayArea(0.0, above(PLAY_AREA_Y_MAX)), false},
      {isInPlayArea(-PLAY_AREA_HALF_WIDTH, PLAY_AREA_Y_MIN), true},
      {isInPlayArea(above(PLAY_AREA_HALF_WIDTH), 0.0), false},
      {isInPlayArea(0.0, below(PLAY_AREA_Y_MIN)), false},
      // The float form compares against the single-precision limits.
      {isInPlayArea(2.23f, 1.975f), true},
      {isInPlayArea(std::nextafter(2.23f, 3.0f), 0.0f), false},
      {isInPlayArea(0.0f, std::nextafter(-36.545f, -40.0f)), false},
      {inHouse(IN_HOUSE_RADIUS), false},
      {inHouse(below(IN_HOUSE_RADIUS)), true},
      // Exactly on the house edge, in front of the tee line: a guard.
      {isInFreeGuardZone(IN_HOUSE_RADIUS, -1.0), true},
      {isInFreeGuardZone(below(IN_HOUSE_RADIUS), -1.0), false},
      {isInFreeGuardZone(5.0, FREE_GUARD_Y_MAX), false},
      {isInFreeGuardZone(5.0, below(FREE_GUARD_Y_MAX)), true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << i;
  EXPECT_CHECK_FAILS(isInFreeGuardZone(40.0, -40.0), "isInPlayArea(FX_TEE, y)");
}

}  // namespace
}  // namespace Kelp
