#include "kelpsimulator/shot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kelpsimulator/simulator.h"
#include "support/boards.h"

namespace Kelp {
namespace {

class TablesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { buildTables(); }
};
const auto* const tablesEnvironment = ::testing::AddGlobalTestEnvironment(new TablesEnvironment);

struct Placed {
  int col;
  double x;
  double y;
};

// A board at the given turn holding the stones, flags as after a rebuild.
ThinkBoard boardWith(int turn, const std::vector<Placed>& stones) {
  ThinkBoard b;
  b.turn = turn + 1;
  for (const Placed& p : stones) b.setStone(p.col, p.x, p.y);
  b.afterShot(2);
  return b;
}

std::vector<Placed> stonesOf(const ThinkBoard& b) {
  std::vector<Placed> out;
  for (int col = 0; col < 2; ++col) {
    for (int i = 0; i < b.count[col]; ++i)
      out.push_back({col, b.stones[col][i].x, b.stones[col][i].y});
  }
  return out;
}

// Where the shot would rest on an empty sheet.
Placed restAlone(const ShotVector& s, int turn) {
  ThinkBoard b;
  b.turn = turn;
  EXPECT_EQ(
      placeAtRest(b, std::min(std::hypot(s.vx, s.vy), MAX_SPEED), std::atan2(s.vx, s.vy), s.spin),
      1);
  return {turn % 2, b.stones[turn % 2][0].x, b.stones[turn % 2][0].y};
}

// The position of the unimpeded thrown stone once it has reached height y.
Placed pathAt(const ShotVector& s, double y) {
  FSStone a;
  a.y = THROW_Y;
  a.th = std::atan2(s.vx, s.vy);
  a.v = std::hypot(s.vx, s.vy);
  a.w = s.spin == 0 ? CURL_SPIN : -CURL_SPIN;
  int k = pathIndex(a.v);
  while (a.y < y && k > 100) {
    advance(k, k - 100, a);
    k -= 100;
  }
  return {0, a.x, a.y};
}

// A shot whose unimpeded path passes over the target with the straight
// distance extra still to go: take-outs and raises.
ShotVector aimThrough(double tx, double ty, double extra, int spin) {
  const double dist = std::hypot(tx, ty - THROW_Y);
  const double want = std::atan2(tx, ty - THROW_Y);
  double th = want;
  double s = speedForDistance(dist + extra);
  for (int it = 0; it < 20; ++it) {
    FSStone a;
    a.y = THROW_Y;
    a.th = th;
    a.v = s;
    a.w = spin == 0 ? CURL_SPIN : -CURL_SPIN;
    advance(pathIndex(s), pathIndex(speedForDistance(extra)), a);
    th += want - std::atan2(a.x, a.y - THROW_Y);
    s = speedForDistance(distanceForSpeed(s) + dist - std::hypot(a.x, a.y - THROW_Y));
  }
  return {std::sin(th) * s, std::cos(th) * s, spin};
}

TEST(ShotForTarget, TeeShotAndZeroError) {
  const Velocity v0 = shotForTarget(0.0, 0.0, 0);
  const Velocity v1 = shotForTarget(0.0, 0.0, 1);
  EXPECT_NEAR(v0.vx, -0.9907397, 1e-7);
  EXPECT_NEAR(v0.vy, 29.559775, 1e-6);
  EXPECT_NEAR(v1.vx, 0.9907397, 1e-7);
  EXPECT_NEAR(v1.vy, 29.559775, 1e-6);
  // A target error of zero is an execution error of about zero.
  EXPECT_NEAR(TEE_SHOT_VX - v0.vx, 0.0, 1e-7);
  EXPECT_NEAR(TEE_SHOT_VY - v0.vy, 0.0, 1e-6);
  // The aim is compensated for the curl: the straight estimate stops at the target.
  for (const int spin : {0, 1}) {
    const Velocity v = shotForTarget(0.5, -1.0, spin);
    const Placed p = restAlone({v.vx, v.vy, spin}, 16);
    EXPECT_NEAR(p.x, 0.5, 0.1) << spin;
    EXPECT_NEAR(p.y, -1.0, 0.1) << spin;
  }
}

TEST(ExecutionError, ScatterFollowsTheTargetSpread) {
  // Linearised around the tee, the error is the Jacobian of shotForTarget
  // applied to a target scatter with sd 0.145 per axis.
  const double h = 1e-6;
  const Velocity o = shotForTarget(0.0, 0.0, 0);
  const Velocity dx = shotForTarget(h, 0.0, 0);
  const Velocity dy = shotForTarget(0.0, h, 0);
  const double jxx = (dx.vx - o.vx) / h, jxy = (dy.vx - o.vx) / h;
  const double jyx = (dx.vy - o.vy) / h, jyy = (dy.vy - o.vy) / h;
  const double sdX = NOISE_SD * std::hypot(jxx, jxy);
  const double sdY = NOISE_SD * std::hypot(jyx, jyy);

  DsfmtEngine engine(12345);
  const int n = 40000;
  double sx = 0, sy = 0, sxx = 0, syy = 0;
  for (int i = 0; i < n; ++i) {
    const Velocity e = executionError(engine);
    sx += e.vx;
    sy += e.vy;
    sxx += e.vx * e.vx;
    syy += e.vy * e.vy;
  }
  const double mx = sx / n, my = sy / n;
  EXPECT_NEAR(mx, 0.0, 4.0 * sdX / std::sqrt(n));
  EXPECT_NEAR(my, 0.0, 4.0 * sdY / std::sqrt(n));
  EXPECT_NEAR(std::sqrt(sxx / n - mx * mx), sdX, 0.03 * sdX);
  EXPECT_NEAR(std::sqrt(syy / n - my * my), sdY, 0.03 * sdY);
  EXPECT_GT(sdX, 0.05);  // the scatter is not negligible...
  EXPECT_LT(sdY, 0.1);   // ...and mostly sideways
}

TEST(ExecuteShot, EmptyBoard) {
  ThinkBoard b;
  const Velocity tee = shotForTarget(0.0, 0.0, 0);
  DsfmtEngine engine(7);
  EXPECT_EQ(executeShot(b, {tee.vx, tee.vy, 0}, engine), 1);
  EXPECT_EQ(b.getTurn(), 15);
  ASSERT_EQ(b.count[BLACK], 1);
  EXPECT_LT(b.stones[BLACK][0].r, 0.6);  // a draw near the tee, with error
  EXPECT_EQ(b.front_y, b.stones[BLACK][0].y);

  // Far too strong: out of play at the back, the board keeps nothing.
  ThinkBoard c;
  EXPECT_EQ(executeShot(c, {0.0, 33.0, 1}, engine), 0);
  EXPECT_EQ(c.getTurn(), 15);
  EXPECT_EQ(c.count[BLACK] + c.count[WHITE], 0);
}

TEST(ExecuteShot, SpinsCurlToOppositeSidesWithTheSameError) {
  const Placed p0 = restAlone({0.0, 29.5, 0}, 16);
  const Placed p1 = restAlone({0.0, 29.5, 1}, 16);
  EXPECT_GT(p0.x, 0.5);
  EXPECT_EQ(p1.x, -p0.x);
  EXPECT_EQ(p1.y, p0.y);

  for (const int spin : {0, 1}) {
    DsfmtEngine engine(99), copy(99);
    ThinkBoard b;
    executeShot(b, {0.0, 29.5, spin}, engine);
    const Velocity e = executionError(copy);
    const Placed expect = restAlone({e.vx, 29.5 + e.vy, spin}, 16);
    EXPECT_EQ(b.stones[BLACK][0].x, expect.x) << spin;
    EXPECT_EQ(b.stones[BLACK][0].y, expect.y) << spin;
  }
}

TEST(SimulateShot, ThrowsThatTouchNothing) {
  const Velocity v = shotForTarget(0.0, -3.0, 1);
  const ShotVector draw{v.vx, v.vy, 1};
  const Placed alone = restAlone(draw, 13);
  {  // Short of every stone by more than a diameter: placed straight away.
    ThinkBoard b = boardWith(13, {{BLACK, alone.x, alone.y + 0.35}, {WHITE, 0.5, 0.5}});
    EXPECT_EQ(simulateShot(b, draw), 1);
    ASSERT_EQ(b.count[WHITE], 2);
    EXPECT_EQ(b.stones[WHITE][b.last_index].x, alone.x);
    EXPECT_EQ(b.stones[WHITE][b.last_index].y, alone.y);
  }
  {  // One stone beside the path: the gap shrinks, then grows.
    const Placed side = pathAt(draw, -10.0);
    ThinkBoard b = boardWith(13, {{BLACK, side.x + 0.4, side.y}});
    ASSERT_EQ(b.count[BLACK], 1);
    EXPECT_EQ(simulateShot(b, draw), 1);
    ASSERT_EQ(b.count[WHITE], 1);
    EXPECT_NEAR(b.stones[WHITE][0].x, alone.x, 1e-9);
    EXPECT_NEAR(b.stones[WHITE][0].y, alone.y, 1e-9);
  }
  {  // One stone behind the release point: the gap grows from the start.
    ThinkBoard b = boardWith(13, {{BLACK, 1.0, THROW_Y + 0.1}});
    EXPECT_EQ(simulateShot(b, draw), 1);
    EXPECT_NEAR(b.stones[WHITE][0].x, alone.x, 1e-9);
  }
  {  // Between two stones, each side clear by 0.16.
    const Placed mid = pathAt(draw, -8.0);
    ThinkBoard b = boardWith(13, {{BLACK, mid.x - 0.45, mid.y}, {BLACK, mid.x + 0.45, mid.y}});
    EXPECT_EQ(simulateShot(b, draw), 1);
    ASSERT_EQ(b.count[BLACK], 2);
    EXPECT_EQ(b.stones[BLACK][0].y, mid.y);
    EXPECT_EQ(b.stones[BLACK][1].y, mid.y);
    EXPECT_NEAR(b.stones[WHITE][0].x, alone.x, 1e-9);
    EXPECT_NEAR(b.stones[WHITE][0].y, alone.y, 1e-9);
  }
}

TEST(SimulateShot, ADrawJustShortOfAStoneDoesNotOverlapIt) {
  // The straight travel ends 0.2 in front of the stone's centre: the stones
  // touch, and the thrown one must not be put down inside the other.
  const Velocity v = shotForTarget(0.0, -3.0, 0);
  const ShotVector draw{v.vx, v.vy, 0};
  const Placed alone = restAlone(draw, 10);
  for (const int extra : {0, 1}) {
    std::vector<Placed> stones = {{BLACK, alone.x, alone.y + 0.2}};
    if (extra) stones.push_back({WHITE, 1.5, 1.0});
    ThinkBoard b = boardWith(10, stones);
    EXPECT_EQ(simulateShot(b, draw), 2) << extra;
    const std::vector<Placed> after = stonesOf(b);
    ASSERT_EQ(after.size(), stones.size() + 1);
    for (size_t i = 0; i < after.size(); ++i) {
      for (size_t k = i + 1; k < after.size(); ++k) {
        EXPECT_GT(std::hypot(after[i].x - after[k].x, after[i].y - after[k].y), 0.28)
            << extra << " " << i << " " << k;
      }
    }
  }
}

TEST(SimulateShot, ProtectedGuardKnockedOutIsAFoul) {
  const ShotVector takeOut = aimThrough(0.0, -3.0, 8.0, 0);
  for (const bool second : {false, true}) {
    // WHITE's guard at turn 14 is protected while BLACK throws.
    std::vector<Placed> stones = {{WHITE, 0.0, -3.0}};
    if (second) stones.push_back({BLACK, -1.2, 0.5});
    ThinkBoard b = boardWith(14, stones);
    ASSERT_EQ(b.state[WHITE][0], 1u | STONE_IN_FGZ | STONE_PROTECTED);
    const ThinkBoard before = b;
    EXPECT_EQ(simulateShot(b, takeOut), 0) << second;
    expectSameBoard(b, before);

    // The same guard without protection leaves play: a legal take-out.
    ThinkBoard c = boardWith(10, stones);
    EXPECT_EQ(simulateShot(c, takeOut), 2) << second;
    EXPECT_EQ(c.count[WHITE], 0) << second;
    EXPECT_EQ(c.count[BLACK], second ? 2 : 1) << second;
  }
}

// Matches each stone of one result to the nearest unused stone of the same
// colour in the other; returns the distances (empty when the colours'
// counts differ).
std::vector<double> matchDistances(std::vector<Placed> a, std::vector<Placed> b) {
  std::vector<double> out;
  for (int col = 0; col < 2; ++col) {
    auto ofColour = [col](const Placed& p) { return p.col == col; };
    if (std::count_if(a.begin(), a.end(), ofColour) != std::count_if(b.begin(), b.end(), ofColour))
      return {};
  }
  while (!a.empty()) {
    double best = 1e9;
    size_t bi = 0, bk = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      for (size_t k = 0; k < b.size(); ++k) {
        const double d = std::hypot(a[i].x - b[k].x, a[i].y - b[k].y);
        if (a[i].col == b[k].col && d < best) {
          best = d;
          bi = i;
          bk = k;
        }
      }
    }
    out.push_back(best);
    a.erase(a.begin() + bi);
    b.erase(b.begin() + bk);
  }
  return out;
}

// The whole throw in the exact model, from the release point.
std::vector<Placed> exactThrow(const ThinkBoard& b, const ShotVector& s) {
  ExactSimulator sim;
  sim.loadStone(FX_TEE, THROW_Y, s.vx, s.vy, s.spin == 0 ? CURL_SPIN : -CURL_SPIN,
                static_cast<uint32_t>(b.getTurn() % 2), true);
  for (int col = 0; col < 2; ++col) {
    for (int i = 0; i < b.count[col]; ++i) {
      sim.loadStone(b.stones[col][i].x, b.stones[col][i].y, 0.0, 0.0, 0.0, b.state[col][i], false);
    }
  }
  sim.runExact(SIM_STEP);
  std::vector<Placed> out;
  for (int i = 0; i < sim.size(); ++i) {
    const double x = sim.position(i).x, y = sim.position(i).y;
    if (isInPlayArea(x, y)) out.push_back({static_cast<int>(sim.tagOf(i) & 1u), x, y});
  }
  return out;
}

TEST(ModelAgreement, ContactShotsRestWhereTheExactModelPutsThem) {
  const std::vector<Placed> midEnd = {{BLACK, 0.0, -3.0}, {BLACK, 0.4, 0.2},   {BLACK, -0.9, 1.0},
                                      {WHITE, 0.5, -2.5}, {WHITE, -0.2, -0.1}, {WHITE, 1.1, 0.8},
                                      {BLACK, -1.2, -1.4}};
  struct Case {
    std::vector<Placed> stones;
    int turn;
    double tx, ty, extra;
    int spin;
  };
  const std::vector<Case> cases = {
      {{{BLACK, 0.0, 0.0}}, 15, 0.0, 0.0, 5.0, 0},  // take-outs at the tee
      {{{BLACK, 0.0, 0.0}}, 15, 0.0, 0.0, 5.0, 1},
      {{{BLACK, 0.0, 0.0}}, 15, 0.0, 0.0, 0.8, 0},  // a soft hit
      {{{BLACK, 0.5, 0.6}, {WHITE, -0.4, -0.3}}, 11, 0.5, 0.6, 5.0, 1},
      {{{BLACK, 0.0, -3.0}, {WHITE, 0.6, 0.4}}, 11, 0.0, -3.0, 1.0, 0},  // raises
      {{{BLACK, 0.2, -2.5}, {WHITE, -0.6, 0.4}}, 11, 0.2, -2.5, 2.0, 1},
      {midEnd, 9, -0.2, -0.1, 5.0, 0},
      {midEnd, 9, 0.5, -2.5, 1.5, 1},
      {midEnd, 9, 0.4, 0.2, 3.0, 1},
  };
  double sum = 0.0, worst = 0.0, movedSum = 0.0;
  int n = 0, moved = 0;
  for (size_t c = 0; c < cases.size(); ++c) {
    const ThinkBoard board = boardWith(cases[c].turn, cases[c].stones);
    const ShotVector shot = aimThrough(cases[c].tx, cases[c].ty, cases[c].extra, cases[c].spin);
    ThinkBoard fast = board;
    EXPECT_EQ(simulateShot(fast, shot), 2) << "case " << c;
    const std::vector<double> d = matchDistances(stonesOf(fast), exactThrow(board, shot));
    ASSERT_FALSE(d.empty()) << "case " << c << ": different stones in play";
    for (const double x : d) {
      sum += x;
      worst = std::max(worst, x);
      ++n;
      // Stones that nothing touched rest where they were in both models
      // (up to the exact model's single precision).
      if (x > 1e-6) {
        movedSum += x;
        ++moved;
      }
      // Half a stone diameter: the models may differ in detail, not in which
      // stone lies where.
      EXPECT_LT(x, 0.145) << "case " << c;
    }
  }
  const double mean = sum / n;
  const double movedMean = movedSum / moved;
  EXPECT_LT(movedMean, 0.08);
  std::printf(
      "model agreement over %d stones: mean %.4f m, largest %.4f m; over the %d moved: mean %.4f "
      "m\n",
      n, mean, worst, moved, movedMean);
}

TEST(ExecuteShot, SameSeedSameBoards) {
  const std::vector<Placed> stones = {
      {BLACK, 0.0, -3.0}, {WHITE, 0.5, -2.5}, {BLACK, 0.4, 0.2}, {WHITE, -0.2, -0.1}};
  ThinkBoard a = boardWith(12, stones), b = a;
  DsfmtEngine ea(2024), eb(2024);
  int changed = 0;
  for (int i = 0; i < 12; ++i) {
    const int spin = i % 2;
    const Velocity d = shotForTarget(0.3 * (i % 3) - 0.3, 0.4 * (i % 4) - 0.6, spin);
    const ShotVector s =
        (i % 3 == 0) ? aimThrough(0.0, 0.0, 4.0, spin) : ShotVector{d.vx, d.vy, spin};
    const int oa = executeShot(a, s, ea);
    const int ob = executeShot(b, s, eb);
    EXPECT_EQ(oa, ob);
    changed += oa == 2;
    expectSameBoard(a, b);
  }
  EXPECT_EQ(a.getTurn(), 0);
  EXPECT_GT(changed, 2);  // the sequence exercised the collision path
}

}  // namespace
}  // namespace Kelp
