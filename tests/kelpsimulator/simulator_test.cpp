#include "kelpsimulator/simulator.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "kelpsimulator/primitive.h"

namespace Kelp {
namespace {

// Two runs of the same hit end in the same place, every stone at rest.
TEST(ExactRun, SameShotSameRestingPlace) {
  std::array<float, 2> ys[2];
  for (auto& run : ys) {
    ExactSimulator sim;
    sim.loadStone(0.05, -5.0, 0.0, 12.0, 0.0, 1, true);
    sim.loadStone(0.0, 0.0, 0.0, 0.0, 0.0, 2, false);
    sim.runExact(SIM_STEP);
    ASSERT_EQ(sim.size(), 2);
    for (int i = 0; i < 2; ++i) {
      run[sim.tagOf(i) - 1] = sim.position(i).y;
      EXPECT_EQ(sim.body[i]->GetLinearVelocity().Length(), 0.0f);
    }
  }
  EXPECT_GT(ys[0][1], 0.5);  // the struck stone moved
  EXPECT_EQ(ys[0], ys[1]);
}

// The others go on, and the slots stay packed whichever slot the lost stone held.
TEST(ExactRun, UnprotectedStoneLeavingPlayIsRemoved) {
  for (bool outFirst : {true, false}) {
    ExactSimulator sim;
    for (int n = 0; n < 2; ++n) {
      const bool out = (n == 0) == outFirst;
      sim.loadStone(out ? 2.2 : -1.0, out ? 0.0 : -30.0, out ? 5.0 : 0.0, out ? 0.0 : 12.0, 0.0,
                    out ? 7 : 2, true);
    }
    sim.loadStone(1.0, -10.0, 0.0, 0.0, 0.0, 3, false);
    sim.loadStone(-1.5, -5.0, 0.0, 0.0, 0.0, 4, false);
    sim.runExact(SIM_STEP);
    ASSERT_EQ(sim.size(), 3) << "outFirst " << outFirst;
    EXPECT_EQ(sim.world.GetBodyCount(), 3);
    uint32_t seen = 0;
    for (int i = 0; i < sim.size(); ++i) {
      seen |= 1u << sim.tagOf(i);
      if (sim.tagOf(i) == 2) {
        EXPECT_NEAR(sim.position(i).y, -30.0 + 144.0 / (2.0 * FRICTION), 0.01);
      }
    }
    EXPECT_EQ(seen, 0b11100u);
  }
}

}  // namespace
}  // namespace Kelp
