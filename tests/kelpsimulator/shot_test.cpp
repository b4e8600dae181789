#include "kelpsimulator/shot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kelpsimulator/simulator.h"
#include "support/boards.h"
#include "support/tables.h"

namespace Kelp {
namespace {

FSStone thrown(const ShotVector& s, double v) {
  FSStone a;
  a.y = THROW_Y;
  a.th = std::atan2(s.vx, s.vy);
  a.v = v;
  a.w = s.spin == 0 ? CURL_SPIN : -CURL_SPIN;
  return a;
}

// Where the shot would rest on an empty sheet.
At restAlone(const ShotVector& s) {
  ThinkBoard b;
  EXPECT_EQ(placeAtRest(b, std::hypot(s.vx, s.vy), std::atan2(s.vx, s.vy), s.spin), 1);
  return {0, b.stones[BLACK][0].x, b.stones[BLACK][0].y};
}

// The unimpeded thrown stone once it has reached height y.
At pathAt(const ShotVector& s, double y) {
  FSStone a = thrown(s, std::hypot(s.vx, s.vy));
  for (int k = pathIndex(a.v); a.y < y; k -= 100) advance(k, k - 100, a);
  return {0, a.x, a.y};
}

// A shot whose unimpeded path passes over the target with the straight
// distance extra still to go: take-outs and raises.
ShotVector aimThrough(double tx, double ty, double extra, int spin) {
  const double want = std::atan2(tx, ty - THROW_Y);
  const double dist = std::hypot(tx, ty - THROW_Y);
  ShotVector s{0.0, 0.0, spin};
  double th = want, v = speedForDistance(dist + extra);
  for (int it = 0; it < 20; ++it) {
    s = {std::sin(th) * v, std::cos(th) * v, spin};
    FSStone a = thrown(s, v);
    advance(pathIndex(v), pathIndex(speedForDistance(extra)), a);
    th += want - std::atan2(a.x, a.y - THROW_Y);
    v = speedForDistance(distanceForSpeed(v) + dist - std::hypot(a.x, a.y - THROW_Y));
  }
  return s;
}

TEST(ShotExecution, TeeShotAndTheScatterOfTheError) {
  const Velocity v0 = shotForTarget(0.0, 0.0, 0), v1 = shotForTarget(0.0, 0.0, 1);
  EXPECT_NEAR(std::hypot(v0.vx + 0.9907397, v0.vy - 29.559775), 0.0, 1e-6);
  EXPECT_NEAR(std::hypot(v1.vx - 0.9907397, v1.vy - 29.559775), 0.0, 1e-6);
  // A zero target error is a zero execution error.
  EXPECT_NEAR(std::hypot(TEE_SHOT_VX - v0.vx, TEE_SHOT_VY - v0.vy), 0.0, 1e-6);

  // Linearised at the tee, the error's spread is the Jacobian of
  // shotForTarget applied to the 0.145 target scatter on each axis.
  const double h = 1e-6;
  const Velocity dx = shotForTarget(h, 0.0, 0), dy = shotForTarget(0.0, h, 0);
  const double sdX = NOISE_SD * std::hypot(dx.vx - v0.vx, dy.vx - v0.vx) / h;
  const double sdY = NOISE_SD * std::hypot(dx.vy - v0.vy, dy.vy - v0.vy) / h;
  DsfmtEngine engine(12345);
  const int n = 40000;
  double sx = 0, sy = 0, sxx = 0, syy = 0;
  for (int i = 0; i < n; ++i) {
    const Velocity e = executionError(engine);
    sx += e.vx, sy += e.vy, sxx += e.vx * e.vx, syy += e.vy * e.vy;
  }
  EXPECT_NEAR(sx / n, 0.0, 4.0 * sdX / std::sqrt(n));
  EXPECT_NEAR(sy / n, 0.0, 4.0 * sdY / std::sqrt(n));
  EXPECT_NEAR(std::sqrt(sxx / n), sdX, 0.03 * sdX);
  EXPECT_NEAR(std::sqrt(syy / n), sdY, 0.03 * sdY);
}

TEST(ShotExecution, EmptyBoardAndTheTwoSpins) {
  DsfmtEngine engine(7);
  const Velocity tee = shotForTarget(0.0, 0.0, 0);
  ThinkBoard b;
  EXPECT_EQ(executeShot(b, {tee.vx, tee.vy, 0}, engine), 1);
  EXPECT_EQ(b.getTurn(), 15);
  EXPECT_LT(b.stones[BLACK][0].r, 0.6);  // near the tee, with error
  ThinkBoard c;                          // far too strong: out at the back
  EXPECT_EQ(executeShot(c, {0.0, 33.0, 1}, engine), 0);
  EXPECT_EQ(c.count[BLACK] + c.count[WHITE], 0);

  // Spin 0 curls toward +x, spin 1 toward -x, and both get the same error.
  const At p0 = restAlone({0.0, 29.5, 0}), p1 = restAlone({0.0, 29.5, 1});
  EXPECT_GT(p0.x, 0.5);
  EXPECT_EQ(p1.x, -p0.x);
  for (const int spin : {0, 1}) {
    DsfmtEngine e1(99), e2(99);
    ThinkBoard d;
    executeShot(d, {0.0, 29.5, spin}, e1);
    const Velocity e = executionError(e2);
    EXPECT_EQ(d.stones[BLACK][0].x, restAlone({e.vx, 29.5 + e.vy, spin}).x);
  }
}

TEST(ShotExecution, ThrowsThatTouchNothing) {
  const Velocity v = shotForTarget(0.0, -3.0, 1);
  const ShotVector draw{v.vx, v.vy, 1};
  const At alone = restAlone(draw), side = pathAt(draw, -10.0), mid = pathAt(draw, -8.0);
  const std::vector<std::vector<At>> boards = {
      {{BLACK, alone.x, alone.y + 0.35}, {WHITE, 0.5, 0.5}},  // short of them by > a diameter
      {{BLACK, side.x + 0.4, side.y}},  // beside the path: the gap shrinks, then grows
      {{BLACK, 1.0, THROW_Y + 0.1}},    // behind the release: the gap grows at once
      {{BLACK, mid.x - 0.45, mid.y}, {BLACK, mid.x + 0.45, mid.y}},  // between two
  };
  for (const auto& stones : boards) {
    ThinkBoard b = boardWith(13, stones);
    EXPECT_EQ(simulateShot(b, draw), 1);
    const std::vector<At> after = stonesOf(b);
    ASSERT_EQ(after.size(), stones.size() + 1);
    EXPECT_NEAR(b.stones[WHITE][b.last_index].x, alone.x, 1e-9);
    EXPECT_NEAR(b.stones[WHITE][b.last_index].y, alone.y, 1e-9);
  }
}

TEST(ShotExecution, DrawJustShortOfAStoneDoesNotOverlapIt) {
  // The straight travel ends 0.2 in front of the stone's centre: the stones
  // touch, and the thrown one must not be put down inside the other.
  const Velocity v = shotForTarget(0.0, -3.0, 0);
  const At alone = restAlone({v.vx, v.vy, 0});
  ThinkBoard b = boardWith(10, {{BLACK, alone.x, alone.y + 0.2}});
  EXPECT_EQ(simulateShot(b, {v.vx, v.vy, 0}), 2);
  const std::vector<At> after = stonesOf(b);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_GT(std::hypot(after[0].x - after[1].x, after[0].y - after[1].y), 0.28);
}

TEST(ShotExecution, ProtectedGuardKnockedOutIsAFoul) {
  const ShotVector takeOut = aimThrough(0.0, -3.0, 8.0, 0);
  for (const auto& stones : std::vector<std::vector<At>>{
           {{WHITE, 0.0, -3.0}}, {{WHITE, 0.0, -3.0}, {BLACK, -1.2, 0.5}}}) {
    ThinkBoard b = boardWith(14, stones);  // WHITE's guard protected while BLACK throws
    ASSERT_EQ(b.state[WHITE][0], 1u | STONE_IN_FGZ | STONE_PROTECTED);
    const ThinkBoard before = b;
    EXPECT_EQ(simulateShot(b, takeOut), 0);
    expectSameBoard(b, before);
    ThinkBoard c = boardWith(10, stones);  // later in the end: a legal take-out
    EXPECT_EQ(simulateShot(c, takeOut), 2);
    EXPECT_EQ(c.count[WHITE], 0);
    EXPECT_EQ(c.count[BLACK], static_cast<int>(stones.size()));
  }
}

// Distance from each stone of one result to the nearest stone of its colour
// in the other (1e9 when there is none).
std::vector<double> matchDistances(const std::vector<At>& a, const std::vector<At>& b) {
  std::vector<double> out;
  for (const At& p : a) {
    double best = 1e9;
    for (const At& q : b)
      best = q.col == p.col ? std::min(best, std::hypot(p.x - q.x, p.y - q.y)) : best;
    out.push_back(best);
  }
  return out;
}

// The whole throw in the exact model, from the release point.
std::vector<At> exactThrow(const ThinkBoard& b, const ShotVector& s) {
  ExactSimulator sim;
  sim.loadStone(FX_TEE, THROW_Y, s.vx, s.vy, s.spin == 0 ? CURL_SPIN : -CURL_SPIN,
                static_cast<uint32_t>(b.getTurn() % 2), true);
  for (const At& p : stonesOf(b)) sim.loadStone(p.x, p.y, 0.0, 0.0, 0.0, p.col, false);
  sim.runExact(SIM_STEP);
  std::vector<At> out;
  for (int i = 0; i < sim.size(); ++i) {
    const double x = sim.position(i).x, y = sim.position(i).y;
    if (isInPlayArea(x, y)) out.push_back({static_cast<int>(sim.tagOf(i) & 1u), x, y});
  }
  return out;
}

TEST(ShotExecution, FastAndExactModelsAgreeOnContactShots) {
  const std::vector<At> midEnd = {{BLACK, 0.0, -3.0}, {BLACK, 0.4, 0.2},   {BLACK, -0.9, 1.0},
                                  {WHITE, 0.5, -2.5}, {WHITE, -0.2, -0.1}, {WHITE, 1.1, 0.8},
                                  {BLACK, -1.2, -1.4}};
  const struct {
    std::vector<At> stones;
    double tx, ty, extra;
    int spin;
  } cases[] = {
      {{{BLACK, 0.0, 0.0}}, 0.0, 0.0, 5.0, 0},  // take-outs and a soft hit at the tee
      {{{BLACK, 0.0, 0.0}}, 0.0, 0.0, 5.0, 1},
      {{{BLACK, 0.0, 0.0}}, 0.0, 0.0, 0.8, 0},
      {{{BLACK, 0.5, 0.6}, {WHITE, -0.4, -0.3}}, 0.5, 0.6, 5.0, 1},
      {{{BLACK, 0.0, -3.0}, {WHITE, 0.6, 0.4}}, 0.0, -3.0, 1.0, 0},  // raises
      {{{BLACK, 0.2, -2.5}, {WHITE, -0.6, 0.4}}, 0.2, -2.5, 2.0, 1},
      {midEnd, -0.2, -0.1, 5.0, 0},
      {midEnd, 0.5, -2.5, 1.5, 1},
      {midEnd, 0.4, 0.2, 3.0, 1},
  };
  double sum = 0.0, worst = 0.0;
  int moved = 0, all = 0;
  for (const auto& c : cases) {
    const ThinkBoard board = boardWith(9, c.stones);  // WHITE throws
    const ShotVector shot = aimThrough(c.tx, c.ty, c.extra, c.spin);
    ThinkBoard fast = board;
    EXPECT_EQ(simulateShot(fast, shot), 2);
    const std::vector<At> exact = exactThrow(board, shot);
    // The same stones stay in play: equal counts, each matched within bounds below.
    ASSERT_EQ(fast.count[BLACK] + fast.count[WHITE], static_cast<int>(exact.size()));
    const std::vector<double> d = matchDistances(stonesOf(fast), exact);
    for (const double x : d) {
      EXPECT_LT(x, 0.145);  // within one stone radius
      ++all;
      if (x > 1e-6) {  // stones nothing touched rest where they were in both
        sum += x, worst = std::max(worst, x), ++moved;
      }
    }
  }
  EXPECT_LT(sum / moved, 0.08);
  std::printf("model agreement: %d stones, %d moved; moved mean %.4f m, largest %.4f m\n", all,
              moved, sum / moved, worst);
}

TEST(ShotExecution, SameSeedSameBoards) {
  ThinkBoard a = boardWith(
                 12,
                 {{BLACK, 0.0, -3.0}, {WHITE, 0.5, -2.5}, {BLACK, 0.4, 0.2}, {WHITE, -0.2, -0.1}}),
             b = a;
  DsfmtEngine ea(2024), eb(2024);
  int contacts = 0;
  for (int i = 0; i < 12; ++i) {
    const Velocity d = shotForTarget(0.3 * (i % 3) - 0.3, 0.4 * (i % 4) - 0.6, i % 2);
    const ShotVector s =
        i % 3 == 0 ? aimThrough(0.0, 0.0, 4.0, i % 2) : ShotVector{d.vx, d.vy, i % 2};
    const int oa = executeShot(a, s, ea);
    EXPECT_EQ(oa, executeShot(b, s, eb));
    contacts += oa == 2;
    expectSameBoard(a, b);
  }
  EXPECT_EQ(a.getTurn(), 0);
  EXPECT_GT(contacts, 2);  // the sequence went through the collision path
}

}  // namespace
}  // namespace Kelp
