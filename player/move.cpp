// Shot vectors of the candidate moves, derived from the target by table
// lookups only: candidates are made at every throw of every playout, so no
// simulation runs here.
#include <cmath>

#include "kelpsimulator/check.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/trajectory.h"
#include "player/curling.h"

namespace {

using Kelp::distanceForSpeed;
using Kelp::pathBySpeed;
using Kelp::pathIndex;
using Kelp::speedForDistance;

constexpr double SOFT_HIT_EXTRA = 0.8;      // m of straight travel left over the target
constexpr double HARD_HIT_EXTRA = 5.0;      // m
constexpr double FULL_SPEED = 33.0;         // m/s
constexpr double CURL_OFFSET_TOL = 0.0012;  // the point found lies within about d + 0.0006

struct CurlOffset {
  double a;  // displacement from the release point, launch frame
  double b;
  double h;  // heading term
};

// The point of the curling path launched at speed v that lies at straight
// distance d from the release point, as a displacement in the launch frame.
// The tables hold spin 0 paths; sigma mirrors them for spin 1.
CurlOffset curlOffset(double v, double d, double sigma) {
  const double s = std::min(v, Kelp::MAX_SPEED);
  const Kelp::PathRow& r0 = pathBySpeed[pathIndex(s)];
  const double h = -sigma * r0.dth;
  // Straight distance the stone still has to travel once it has covered d.
  double L = distanceForSpeed(s) - d;
  int k = pathIndex(speedForDistance(L));
  double a = sigma * (r0.dx - pathBySpeed[k].dx);
  double b = r0.dy - pathBySpeed[k].dy;
  // The straight-distance estimate overshoots where the path curls: walk the
  // point back along the path until it is no farther than d (+ tolerance).
  while (a * a + b * b >= (d + CURL_OFFSET_TOL) * d) {
    const double delta = std::sqrt(a * a + b * b) - d;
    int k1 = k;
    while (k1 == k) {
      L += delta;
      k1 = pathIndex(speedForDistance(L));
    }
    k = k1;
    a = sigma * (r0.dx - pathBySpeed[k].dx);
    b = r0.dy - pathBySpeed[k].dy;
  }
  return CurlOffset{a, b, h};
}

}  // namespace

ShotAim aimFor(float x, float y, int kind) {
  const float x_ = x, y_ = y;
  KELP_CHECK_TEXT(Kelp::isInPlayArea(x_, y_), "Kelp::isInPlayArea(x_, y_)");
  ShotAim aim;
  aim.x = x;
  aim.y = y;
  const double tx = x, ty = y;
  const double d = std::hypot(tx - 0.0, ty - Kelp::THROW_Y);
  aim.phi = std::atan2(tx - 0.0, ty - Kelp::THROW_Y);
  if (kind == SHOT_DRAW) {
    aim.v = speedForDistance(d);
    const Kelp::PathRow& row = pathBySpeed[pathIndex(aim.v)];
    aim.t = std::atan2(row.dx, row.dy);
    aim.turn = row.dth;
  } else {
    KELP_CHECK(kind == SHOT_HIT_SOFT || kind == SHOT_HIT_HARD || kind == SHOT_FULL_SPEED);
    if (kind == SHOT_FULL_SPEED) {
      aim.v = FULL_SPEED;
    } else {
      aim.v = speedForDistance(d + (kind == SHOT_HIT_SOFT ? SOFT_HIT_EXTRA : HARD_HIT_EXTRA));
    }
    // The offset's a and h change sign with the spin and its b does not, so
    // the spin 0 offset serves both.
    const CurlOffset off = curlOffset(aim.v, d, 1.0);
    aim.t = std::atan2(off.a, off.b);
    aim.turn = -off.h;
  }
  return aim;
}

Kelp::ShotVector shotFor(const ShotAim& aim, bool spin) {
  // Draw: psi = phi - atan2(sigma dx, dy) - sigma dth. Hit: psi = phi -
  // atan2(a, b) + h with a and h = -sigma dth0 mirrored. atan2 is odd in its
  // first argument, so both equal (phi - sigma t) - sigma turn exactly.
  const double sigma = spin ? -1.0 : 1.0;
  const double psi = (aim.phi - sigma * aim.t) - sigma * aim.turn;
  return Kelp::ShotVector{aim.v * std::sin(psi), aim.v * std::cos(psi), spin ? 1 : 0};
}

CurlingMoveState::CurlingMoveState(const ShotAim& aim, const char* label_, bool spin_)
    : x(aim.x), y(aim.y), spin(spin_ ? 1 : 0), label(label_) {
  const Kelp::ShotVector s = shotFor(aim, spin_);
  vx = s.vx;
  vy = s.vy;
}
