#include "kelpsimulator/simulator.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kelpsimulator/primitive.h"
#include "support/death.h"

namespace Kelp {
namespace {

constexpr uint32_t PROTECTED = 8;
constexpr double R = static_cast<double>(STONE_RADIUS);

TEST(Slide, DeceleratesAlongTheDirectionAndCurlsBySpin) {
  const SlideResult plus = slide(0.12, 0.0, 10.0, 2.5);
  EXPECT_NEAR(plus.vx, 0.0080035, 1e-7);
  EXPECT_NEAR(plus.vy, 9.88, 1e-12);
  EXPECT_EQ(plus.w, 2.5);

  const SlideResult minus = slide(0.12, 0.0, 10.0, -0.5);
  EXPECT_EQ(minus.vx, -plus.vx);
  EXPECT_EQ(minus.vy, plus.vy);
  EXPECT_EQ(minus.w, -0.5);

  const SlideResult none = slide(0.12, 0.0, 10.0, 0.0);
  EXPECT_EQ(none.vx, 0.0);
  EXPECT_NEAR(none.vy, 9.88, 1e-12);

  // The law turns with the stone: travelling toward +x, positive spin pushes toward -y.
  const SlideResult sideways = slide(0.12, 10.0, 0.0, 1.0);
  EXPECT_NEAR(sideways.vx, 9.88, 1e-12);
  EXPECT_NEAR(sideways.vy, -0.0080035, 1e-7);
}

TEST(Slide, StoneNoFasterThanTheDecrementStops) {
  for (double v : {0.12, 0.1, 0.0}) {
    const SlideResult r = slide(0.12, 0.6 * v, 0.8 * v, 1.0);
    EXPECT_EQ(r.vx, 0.0) << "speed " << v;
    EXPECT_EQ(r.vy, 0.0) << "speed " << v;
    EXPECT_EQ(r.w, 0.0) << "speed " << v;
  }
}

// Counts the solver passes over touching contacts: one per world step.
class StepCounter : public b2ContactListener {
 public:
  void PreSolve(b2Contact*, const b2Manifold*) override { ++steps; }
  int steps = 0;
};

TEST(ExactRun, NothingMovingTakesOneWorldStep) {
  ExactSimulator sim;
  StepCounter counter;
  sim.world.SetContactListener(&counter);
  // Two stones that touch, so the step is visible to the contact listener.
  sim.loadStone(0.0, 0.0, 0.0, 0.0, 0.0, 1, false);
  sim.loadStone(0.0, 2.0 * R - 0.01, 0.0, 0.0, 0.0, 2, false);
  EXPECT_EQ(sim.runExact(SIM_STEP), 0);
  EXPECT_EQ(counter.steps, 1);
  EXPECT_EQ(sim.size(), 2);
  EXPECT_EQ(sim.moving, 0);
  sim.world.SetContactListener(nullptr);
}

TEST(ExactRun, LoneStoneStopsAtTheStraightLineDistance) {
  ExactSimulator sim;
  sim.loadStone(0.0, -20.0, 0.0, 15.0, 0.0, 5, true);
  EXPECT_GT(sim.runExact(SIM_STEP), 100);
  ASSERT_EQ(sim.size(), 1);
  EXPECT_EQ(sim.moving, 0);
  EXPECT_EQ(sim.stopped, 1);
  EXPECT_EQ(sim.tagOf(0), 5u);
  EXPECT_EQ(sim.body[0]->GetLinearVelocity().x, 0.0f);
  EXPECT_EQ(sim.body[0]->GetLinearVelocity().y, 0.0f);
  EXPECT_NEAR(sim.position(0).x, 0.0, 1e-6);
  EXPECT_NEAR(sim.position(0).y, -20.0 + 15.0 * 15.0 / (2.0 * FRICTION), 0.01);
}

TEST(ExactRun, RestingStoneThatIsHitMovesInTheSamePass) {
  // Head-on between equal stones with restitution 1: the striker hands its
  // whole velocity to the target and the target carries on the striker's
  // leapfrog, so it rests where the striker alone would have, shifted by the
  // distance between the two at the hit. A target woken one pass late would
  // miss one friction step and slide about v * dt (0.08 m here) too far.
  const double v0 = 10.0, y0 = -10.0;
  ExactSimulator alone;
  alone.loadStone(0.0, y0, 0.0, v0, 0.0, 1, true);
  alone.runExact(SIM_STEP);
  const double aloneRest = alone.position(0).y;

  // Replay the striker's first 20 steps as Box2D integrates them (float) and
  // put the target just inside contact range of that position.
  const double d = SIM_STEP * FRICTION;
  float y = static_cast<float>(y0);
  double v = v0 - d / 2.0;
  for (int n = 0; n < 20; ++n) {
    y += SIM_STEP * static_cast<float>(v);
    v -= d;
  }
  const double targetY = y + 2.0 * R - 0.002;

  ExactSimulator sim;
  sim.loadStone(0.0, y0, 0.0, v0, 0.0, 1, true);
  sim.loadStone(0.0, targetY, 0.0, 0.0, 0.0, 2, false);
  sim.runExact(SIM_STEP);
  ASSERT_EQ(sim.size(), 2);
  EXPECT_EQ(sim.moving, 0);
  for (int i = 0; i < 2; ++i) {
    const double expected = sim.tagOf(i) == 1 ? y : aloneRest + (targetY - y);
    EXPECT_NEAR(sim.position(i).y, expected, 0.01) << "stone " << sim.tagOf(i);
    EXPECT_EQ(sim.body[i]->GetLinearVelocity().y, 0.0f);
  }
}

TEST(ExactRun, ProtectedStoneLeavingPlayStopsTheRunAtOnce) {
  ExactSimulator sim;
  sim.loadStone(0.0, -30.0, 0.0, 20.0, 0.0, 0, true);
  sim.loadStone(2.2, 0.0, 5.0, 0.0, 0.0, PROTECTED | 1, true);
  sim.loadStone(-1.0, 0.0, 0.0, 0.0, 0.0, 0, false);
  EXPECT_EQ(sim.runExact(SIM_STEP), 0);
  // Frozen as they were: nothing destroyed, the other stone still running.
  ASSERT_EQ(sim.size(), 3);
  EXPECT_EQ(sim.moving, 2);
  EXPECT_EQ(sim.world.GetBodyCount(), 3);
  EXPECT_GT(sim.body[0]->GetLinearVelocity().y, 19.0f);
  EXPECT_LT(sim.position(0).y, -29.0f);
  EXPECT_GE(sim.position(1).x, 2.23f);
}

// An unprotected stone that leaves play is destroyed and the others go on;
// the slots stay packed whichever slot the lost stone held.
TEST(ExactRun, UnprotectedStoneLeavingPlayIsRemoved) {
  for (bool outFirst : {true, false}) {
    ExactSimulator sim;
    const double outX = 2.2, runnerX = -1.0;
    if (outFirst) {
      sim.loadStone(outX, 0.0, 5.0, 0.0, 0.0, 7, true);
      sim.loadStone(runnerX, -30.0, 0.0, 12.0, 0.0, 2, true);
    } else {
      sim.loadStone(runnerX, -30.0, 0.0, 12.0, 0.0, 2, true);
      sim.loadStone(outX, 0.0, 5.0, 0.0, 0.0, 7, true);
    }
    sim.loadStone(1.0, -10.0, 0.0, 0.0, 0.0, 3, false);
    sim.loadStone(-1.5, -5.0, 0.0, 0.0, 0.0, 4, false);
    sim.runExact(SIM_STEP);

    ASSERT_EQ(sim.size(), 3) << "outFirst " << outFirst;
    EXPECT_EQ(sim.world.GetBodyCount(), 3);
    EXPECT_EQ(sim.moving, 0);
    EXPECT_EQ(sim.body[3], nullptr);
    uint32_t seen = 0;
    for (int i = 0; i < sim.size(); ++i) {
      ASSERT_NE(sim.body[i], nullptr);
      seen |= 1u << sim.tagOf(i);
      if (sim.tagOf(i) == 2) {
        EXPECT_NEAR(sim.position(i).y, -30.0 + 144.0 / (2.0 * FRICTION), 0.01);
      }
    }
    EXPECT_EQ(seen, (1u << 2) | (1u << 3) | (1u << 4));
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
  ExactSimulator back;
  back.loadStone(0.0, 1.975f, 0.0, 1.0, 0.0, 0, true);
  back.runExact(SIM_STEP);
  EXPECT_EQ(back.size(), 0);
}

TEST(ExactRun, MissingBodiesAreFatal) {
  EXPECT_CHECK_FAILS(
      {
        ExactSimulator sim;
        sim.loadStone(0.0, 0.0, 0.0, 1.0, 0.0, 0, true);
        sim.world.DestroyBody(sim.body[0]);
        sim.body[0] = nullptr;
        sim.runExact(SIM_STEP);
      },
      "pSubGameState->body[i]!=nullptr");
  EXPECT_CHECK_FAILS(
      {
        ExactSimulator sim;
        sim.loadStone(0.0, 0.0, 0.0, 0.0, 0.0, 0, false);
        sim.world.DestroyBody(sim.body[0]);
        sim.body[0] = nullptr;
      },
      "body[i] != nullptr");
}

}  // namespace
}  // namespace Kelp
