#include "kelpsimulator/trajectory.h"

#include <cmath>
#include <iostream>
#include <thread>

#include "kelpsimulator/check.h"
#include "kelpsimulator/simulator.h"

namespace Kelp {

double distanceBySpeed[DISTANCE_TABLE_SIZE];
double speedByDistance[SPEED_TABLE_SIZE];
PathRow pathBySpeed[PATH_TABLE_SIZE];

namespace {

struct PathState {
  double x = 0.0;
  double y = 0.0;
  double vx = 0.0;
  double vy = 0.0;
  double w = 0.0;
};

// The inverse of slide over a speed increment a. There is no stopping case;
// a stone at rest is started backwards heading toward +y with positive spin,
// so every table describes the positive-spin path.
SlideResult slideBack(double a, double vx, double vy, double w) {
  if (vx == 0.0 && vy == 0.0) {
    return {0.0, a / 20000.0, CURL};
  }
  const double s = std::hypot(vx, vy);
  const double ux = vx / s;
  const double uy = vy / s;
  double dx = ux * a;
  double dy = uy * a;
  if (w != 0.0) {
    const double k = a * CURL;
    if (w > 0.0) {
      dx -= k * uy;
      dy += k * ux;
    } else {
      dx += k * uy;
      dy -= k * ux;
    }
  }
  return {vx + dx, vy + dy, w};
}

// Leapfrog over h: half a friction step, the move, the other half.
void stepForward(PathState& p, double h) {
  const double a = h * FRICTION * 0.5;
  const SlideResult half = slide(a, p.vx, p.vy, p.w);
  p.x += half.vx * h;
  p.y += half.vy * h;
  const SlideResult full = slide(a, half.vx, half.vy, half.w);
  p.vx = full.vx;
  p.vy = full.vy;
  p.w = full.w;
}

void stepBackward(PathState& p, double h) {
  const double a = h * FRICTION * 0.5;
  const SlideResult half = slideBack(a, p.vx, p.vy, p.w);
  p.x -= half.vx * h;
  p.y -= half.vy * h;
  const SlideResult full = slideBack(a, half.vx, half.vy, half.w);
  p.vx = full.vx;
  p.vy = full.vy;
  p.w = full.w;
}

double distanceOf(const PathState& p) {
  return std::hypot(p.x, p.y);
}
double speedOf(const PathState& p) {
  return std::hypot(p.vx, p.vy);
}

void buildDistanceBySpeed() {
  PathState p;
  const double h = SPEED_STEP / FRICTION * 0.00390625;
  for (int j = 0; j < DISTANCE_TABLE_SIZE; ++j) {
    distanceBySpeed[j] = distanceOf(p);
    for (int n = 0; n < 256; ++n) {
      stepBackward(p, h);
    }
  }
}

void buildSpeedByDistance() {
  PathState p;
  speedByDistance[0] = 0.0;
  for (int k = 0; k < SPEED_TABLE_SIZE; ++k) {
    const double d = k * DISTANCE_STEP;
    while (distanceOf(p) < d) {
      stepBackward(p, TABLE_DT);
    }
    PathState prev = p;
    stepForward(prev, TABLE_DT);
    const double r = crossingRatio(distanceOf(prev), distanceOf(p), d);
    speedByDistance[k] = r * speedOf(p) + (1.0 - r) * speedOf(prev);
  }
}

void buildPathBySpeed() {
  PathState p;
  double elapsed = 0.0;
  pathBySpeed[0] = PathRow{0.0, 0.0, 0.0, 0.0};
  for (int k = 1; k < PATH_TABLE_SIZE; ++k) {
    const double s = k * PATH_STEP;
    while (speedOf(p) < s) {
      stepBackward(p, TABLE_DT);
      elapsed += TABLE_DT;
    }
    PathState prev = p;
    stepForward(prev, TABLE_DT);
    const double r = crossingRatio(speedOf(prev), speedOf(p), s);
    pathBySpeed[k] = PathRow{
        -(r * p.x + (1.0 - r) * prev.x),
        -(r * p.y + (1.0 - r) * prev.y),
        -(r * std::atan2(p.vx, p.vy) + (1.0 - r) * std::atan2(prev.vx, prev.vy)),
        r * elapsed + (1.0 - r) * (elapsed - TABLE_DT),
    };
  }
}

// The tables hold the positive-spin path; any other spin uses its mirror
// image across the direction of travel.
double mirror(const FSStone& stone) {
  return stone.w > 0.0 ? 1.0 : -1.0;
}

}  // namespace

double crossingRatio(double previous, double current, double target) {
  // The walk stops at the first step past the target, so the ratio is within
  // 0..1 unless the integration went wrong.
  const double r = previous == current ? 0.5 : (target - previous) / (current - previous);
  if (!(r >= 0.0 && r <= 1.0)) {
    std::cerr << previous << "->" << current << "(" << target << ")" << std::endl;
    KELP_CHECK_TEXT(false, "0");
  }
  return r;
}

void buildTables() {
  std::thread distance(buildDistanceBySpeed);
  std::thread speed(buildSpeedByDistance);
  std::thread path(buildPathBySpeed);
  distance.join();
  speed.join();
  path.join();
}

void advanceToRest(int k, FSStone& stone) {
  KELP_CHECK(0 <= k && k < PATH_TABLE_SIZE);
  const PathRow& row = pathBySpeed[k];
  const double m = mirror(stone);
  const double dx = m * row.dx;
  const double alpha = stone.th + m * row.dth;
  const double c = std::cos(alpha);
  const double s = std::sin(alpha);
  stone.x += dx * c + row.dy * s;
  stone.y += row.dy * c - dx * s;
  stone.t += row.t;
}

void advance(int k0, int k1, FSStone& stone) {
  // Callers pass k1 < k0; only the table bounds are enforced, so a row one
  // above k0 from rounding in the caller's lookups still works.
  KELP_CHECK(0 <= k0 && k0 < PATH_TABLE_SIZE && 0 <= k1 && k1 < PATH_TABLE_SIZE);
  const PathRow& r0 = pathBySpeed[k0];
  const PathRow& r1 = pathBySpeed[k1];
  const double m = mirror(stone);
  const double ddx = m * (r0.dx - r1.dx);
  const double ddy = r0.dy - r1.dy;
  const double ddth = m * (r0.dth - r1.dth);
  const double dt = r0.t - r1.t;
  const double alpha = stone.th + m * r0.dth;
  const double c = std::cos(alpha);
  const double s = std::sin(alpha);
  stone.x += ddx * c + ddy * s;
  stone.y += ddy * c - ddx * s;
  stone.th += ddth;
  stone.t += dt;
  stone.v -= dt * FRICTION;
}

}  // namespace Kelp
