#include "referee/throw.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kelpsimulator/primitive.h"

namespace Kelp::Referee {
namespace {

constexpr std::array<bool, SHOTS_PER_END> NONE{};

TEST(Throw, TheTeeDrawWithoutErrorComesToRestNearTheTee) {
  for (int spin : {0, 1}) {
    const Velocity v = shotForTarget(0.0, 0.0, spin);
    const ThrowResult r = throwStone(Sheet{}, 0, {v.vx, v.vy, spin}, NONE);
    ASSERT_TRUE(r.after[0].inPlay) << spin;
    EXPECT_LT(std::hypot(r.after[0].x, r.after[0].y), 0.3) << "spin " << spin;
    // The path runs from the release point to the rest point, on the side
    // opposite to the curl.
    const auto& path = r.paths[0];
    ASSERT_GE(path.size(), 10u);
    EXPECT_FLOAT_EQ(path.front().y, static_cast<float>(THROW_Y));
    EXPECT_TRUE(path.back().x == float(r.after[0].x) && path.back().y == float(r.after[0].y));
    EXPECT_EQ(path[path.size() / 2].x < 0, spin == 0);
  }
}

TEST(Throw, KnockingOutAProtectedGuardRestoresTheStones) {
  Sheet before;
  before[0] = {true, 0.0, -3.0};  // the first thrower's guard
  before[2] = {true, 1.0, 1.0};
  // Aimed left so that the curl brings it onto the guard (measured: it
  // crosses y = -3 at x = 0.02).
  const ShotVector hit{-0.62, 32.0, 0};
  std::array<bool, SHOTS_PER_END> prot{};
  prot[0] = true;
  const ThrowResult foul = throwStone(before, 1, hit, prot);
  ASSERT_TRUE(foul.foul);
  EXPECT_FALSE(foul.after[1].inPlay) << "the thrown stone is removed";
  for (int k : {0, 2}) {
    const auto& s = foul.after[k];
    EXPECT_TRUE(s.inPlay && s.x == before[k].x && s.y == before[k].y) << k;
  }
  // Without protection the same throw takes the guard out of play.
  const ThrowResult fair = throwStone(before, 1, hit, NONE);
  EXPECT_FALSE(fair.foul || fair.after[0].inPlay);
  ASSERT_FALSE(fair.paths[0].empty());
  EXPECT_FLOAT_EQ(fair.paths[0].front().y, -3.0f) << "a struck stone's path starts where it lay";
  EXPECT_TRUE(fair.paths[2].empty()) << "a stone that never moved has no path";
}

}  // namespace
}  // namespace Kelp::Referee
