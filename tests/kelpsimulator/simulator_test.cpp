#include "kelpsimulator/simulator.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kelpsimulator/primitive.h"

namespace Kelp {
namespace {

constexpr uint32_t PROTECTED = 8;
constexpr double R = static_cast<double>(STONE_RADIUS);

// The sliding law itself is shared with the tables: the lone-draw agreement
// and the shot tests check it.
// Counts the solver passes over touching contacts: one per world step.
struct StepCounter : b2ContactListener {
  void PreSolve(b2Contact*, const b2Manifold*) override { ++steps; }
  int steps = 0;
};

TEST(ExactRun, NothingMovingTakesOneWorldStep) {
  StepCounter counter;  // outlives the world, which reports to it when destroyed
  ExactSimulator sim;
  sim.world.SetContactListener(&counter);
  sim.loadStone(0.0, 0.0, 0.0, 0.0, 0.0, 1, false);  // touching, so the step is seen
  sim.loadStone(0.0, 2.0 * R - 0.01, 0.0, 0.0, 0.0, 2, false);
  EXPECT_EQ(sim.runExact(SIM_STEP), 0);
  EXPECT_EQ(counter.steps, 1);
  EXPECT_EQ(sim.size(), 2);
}

TEST(ExactRun, RestingStoneThatIsHitMovesInTheSamePass) {
  // Head-on between equal stones with restitution 1: the striker hands its
  // velocity to the target, which carries on the striker's leapfrog and rests
  // where the striker alone would have, shifted by their distance at the hit.
  // Woken one pass late, it would miss a friction step: about 0.08 m further.
  const double v0 = 10.0, y0 = -10.0, d = SIM_STEP * FRICTION;
  ExactSimulator alone;
  alone.loadStone(0.0, y0, 0.0, v0, 0.0, 1, true);
  alone.runExact(SIM_STEP);
  EXPECT_NEAR(alone.position(0).y, y0 + v0 * v0 / (2.0 * FRICTION), 0.01);

  float y = static_cast<float>(y0);  // the striker after 20 steps, as Box2D integrates it
  double v = v0 - d / 2.0;
  for (int n = 0; n < 20; ++n, v -= d) y += SIM_STEP * static_cast<float>(v);
  const double targetY = y + 2.0 * R - 0.002;  // just inside contact range

  ExactSimulator sim;
  sim.loadStone(0.0, y0, 0.0, v0, 0.0, 1, true);
  sim.loadStone(0.0, targetY, 0.0, 0.0, 0.0, 2, false);
  sim.runExact(SIM_STEP);
  ASSERT_EQ(sim.size(), 2);
  for (int i = 0; i < 2; ++i) {
    const double expected = sim.tagOf(i) == 1 ? y : alone.position(0).y + (targetY - y);
    EXPECT_NEAR(sim.position(i).y, expected, 0.01) << "stone " << sim.tagOf(i);
  }
}

TEST(ExactRun, ProtectedStoneLeavingPlayStopsTheRunAtOnce) {
  ExactSimulator sim;
  sim.loadStone(0.0, -30.0, 0.0, 20.0, 0.0, 0, true);
  sim.loadStone(2.2, 0.0, 5.0, 0.0, 0.0, PROTECTED | 1, true);
  sim.loadStone(-1.0, 0.0, 0.0, 0.0, 0.0, 0, false);
  EXPECT_EQ(sim.runExact(SIM_STEP), 0);
  ASSERT_EQ(sim.size(), 3);  // frozen: nothing destroyed, the other still running
  EXPECT_EQ(sim.world.GetBodyCount(), 3);
  EXPECT_GT(sim.body[0]->GetLinearVelocity().y, 19.0f);
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

TEST(ExactRun, PlayAreaBoundsAreExclusive) {
  for (float x : {2.23f, -2.23f}) {
    ExactSimulator sim;
    sim.loadStone(x, 0.0, 0.0, 1.0, 0.0, 0, true);
    sim.loadStone(std::nextafter(x, 0.0f), -3.0, 0.0, 1.0, 0.0, 1, true);
    sim.runExact(SIM_STEP);
    ASSERT_EQ(sim.size(), 1) << "x " << x;
    EXPECT_EQ(sim.tagOf(0), 1u);
  }
}

}  // namespace
}  // namespace Kelp
