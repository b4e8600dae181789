#include "kelpsimulator/trajectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "kelpsimulator/primitive.h"
#include "support/death.h"
#include "support/tables.h"

namespace Kelp {
namespace {

TEST(TrajectoryTables, StartAtZeroRiseAndInvertEachOther) {
  EXPECT_EQ(distanceBySpeed[0], 0.0);
  EXPECT_EQ(speedByDistance[0], 0.0);
  EXPECT_TRUE(std::is_sorted(distanceBySpeed, distanceBySpeed + DISTANCE_TABLE_SIZE,
                             std::less_equal<double>()));
  EXPECT_TRUE(std::is_sorted(speedByDistance, speedByDistance + SPEED_TABLE_SIZE,
                             std::less_equal<double>()));

  EXPECT_NEAR(distanceForSpeed(MAX_SPEED), 47.4, 0.05);
  // Below about 1 m/s one distance step spans more than one speed step.
  for (double v = 1.0; v <= MAX_SPEED; v += 0.37) {
    EXPECT_NEAR(speedForDistance(distanceForSpeed(v)), v, SPEED_STEP) << "v " << v;
  }
  EXPECT_DEATH(crossingRatio(1.0, 2.0, 3.0), "1->2\\(3\\)");
  EXPECT_CHECK_FAILS(crossingRatio(1.0, 2.0, 0.5), "0");
}

}  // namespace
}  // namespace Kelp
