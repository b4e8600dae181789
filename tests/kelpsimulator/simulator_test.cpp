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

}  // namespace
}  // namespace Kelp
