#include "kelpsimulator/primitive.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/death.h"

namespace Kelp {
namespace {

// The limits themselves (single-precision values widened) are pinned by the
// replay digests; here which side of each limit is in. The float form of
// isInPlayArea compares against the single-precision limits; a stone exactly
// on the house edge, in front of the tee line, is a guard.
TEST(Primitive, PlayAreaHouseAndFreeGuardZoneAtTheirBoundaries) {
  const auto above = [](double v) { return std::nextafter(v, 100.0); };
  const auto below = [](double v) { return std::nextafter(v, -100.0); };
  const bool in[] = {isInPlayArea(0.0, PLAY_AREA_Y_MAX),
                     isInPlayArea(-PLAY_AREA_HALF_WIDTH, PLAY_AREA_Y_MIN),
                     isInPlayArea(2.23f, 1.975f),
                     inHouse(below(IN_HOUSE_RADIUS)),
                     isInFreeGuardZone(IN_HOUSE_RADIUS, -1.0),
                     isInFreeGuardZone(5.0, below(FREE_GUARD_Y_MAX))};
  const bool out[] = {isInPlayArea(0.0, above(PLAY_AREA_Y_MAX)),
                      isInPlayArea(above(PLAY_AREA_HALF_WIDTH), 0.0),
                      isInPlayArea(0.0, below(PLAY_AREA_Y_MIN)),
                      isInPlayArea(std::nextafter(2.23f, 3.0f), 0.0f),
                      isInPlayArea(0.0f, std::nextafter(-36.545f, -40.0f)),
                      inHouse(IN_HOUSE_RADIUS),
                      isInFreeGuardZone(below(IN_HOUSE_RADIUS), -1.0),
                      isInFreeGuardZone(5.0, FREE_GUARD_Y_MAX)};
  for (size_t i = 0; i < std::size(in); ++i) EXPECT_TRUE(in[i]) << i;
  for (size_t i = 0; i < std::size(out); ++i) EXPECT_FALSE(out[i]) << i;
  EXPECT_CHECK_FAILS(isInFreeGuardZone(40.0, -40.0), "isInPlayArea(FX_TEE, y)");
}

}  // namespace
}  // namespace Kelp
