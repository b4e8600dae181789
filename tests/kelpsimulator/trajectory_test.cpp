#include "kelpsimulator/trajectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "kelpsimulator/primitive.h"
#include "support/death.h"
#include "support/tables.h"

namespace Kelp {
namespace {

FSStone stoneAt(double x, double y, double th, double w) {
  FSStone s;
  s.x = x, s.y = y, s.th = th, s.w = w;
  return s;
}

TEST(TrajectoryTables, StartAtZeroRiseAndInvertEachOther) {
  EXPECT_EQ(distanceBySpeed[0], 0.0);
  EXPECT_EQ(speedByDistance[0], 0.0);
  FSStone s = stoneAt(0.3, -2.0, 0.4, 1.0);
  advanceToRest(0, s);  // row 0 is all zero
  EXPECT_EQ(s.x, 0.3);
  EXPECT_EQ(s.y, -2.0);
  EXPECT_EQ(s.t, 0.0);
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

TEST(TrajectoryLookups, InputsOutsideTheTablesClampToTheEnds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {(DISTANCE_TABLE_SIZE - 1) * SPEED_STEP, MAX_SPEED + 1.0, 1e300}) {
    EXPECT_EQ(distanceForSpeed(v), distanceBySpeed[DISTANCE_TABLE_SIZE - 1]);
    EXPECT_EQ(speedForDistance(v * 3.0), speedByDistance[SPEED_TABLE_SIZE - 1]);
    EXPECT_EQ(pathIndex(v * 1.1), PATH_TABLE_SIZE - 1);
  }
  for (double v : {-1.0, nan}) {
    EXPECT_EQ(distanceForSpeed(v), 0.0);
    EXPECT_EQ(speedForDistance(v), 0.0);
    EXPECT_EQ(pathIndex(v), 0);
  }
  EXPECT_EQ(pathIndex(1000.5 * PATH_STEP), 1000);
}

// Which way each spin curls is checked with the shots.
TEST(TrajectoryPaths, AdvanceThenRestEqualsRest) {
  const int k0 = pathIndex(30.0);
  for (double w : {1.0, -1.0}) {
    for (double th : {0.3, -2.0}) {
      for (int k1 : {0, 150000, k0 - 1}) {
        FSStone direct = stoneAt(0.5, -30.0, th, w);
        direct.v = k0 * PATH_STEP;
        FSStone legs = direct;
        advanceToRest(k0, direct);
        advance(k0, k1, legs);
        EXPECT_NEAR(legs.v, k1 * PATH_STEP, 1e-4);
        advanceToRest(k1, legs);
        EXPECT_NEAR(std::hypot(legs.x - direct.x, legs.y - direct.y), 0.0, 1e-9)
            << "w " << w << " th " << th << " k1 " << k1;
        EXPECT_NEAR(legs.t, direct.t, 1e-12);
      }
    }
  }
}

// That both models share one sliding law shows in the agreement test: every
// contact shot there slides from the release point in both.
}  // namespace
}  // namespace Kelp
