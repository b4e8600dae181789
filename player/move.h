// One candidate shot of the search: CurlingMoveState (target, shot vector,
// spin, pattern label) and the aim it is computed from. The shot patterns
// make them; the search tree holds one per edge.
#pragma once

#include <cstdint>
#include <string>

#include "kelpsimulator/shot.h"

// How a candidate's shot vector is derived from its target.
enum ShotKind : int {
  SHOT_DRAW = -1,       // the stone comes to rest on the target
  SHOT_HIT_SOFT = 0,    // passes over the target with 0.8 m of straight travel left
  SHOT_HIT_HARD = 1,    // passes over the target with 5.0 m of straight travel left
  SHOT_FULL_SPEED = 2,  // thrown at 33.0 m/s through the target
};

// The spin-independent part of the shot for a target and a kind. The two
// spins are mirror images, so both shots of a target share it: the heading
// for spin s is (phi - sigma * t) - sigma * turn with sigma = +1 for spin 0
// and -1 for spin 1, then (vx, vy) = v * (sin, cos) of it.
struct ShotAim {
  float x = 0.0f;  // target, board frame
  float y = 0.0f;
  double v = 0.0;     // launch speed (m/s)
  double phi = 0.0;   // bearing of the target from the release point, from +y toward +x
  double t = 0.0;     // curl correction of the bearing for spin 0
  double turn = 0.0;  // turn of the path's heading for spin 0
};

// Checks that the target lies in the play area (single precision) and
// computes its aim by table lookups only.
ShotAim aimFor(float x, float y, int kind);
// The shot of an aim for one spin (true: spin 1).
Kelp::ShotVector shotFor(const ShotAim& aim, bool spin);

// One candidate shot. A plain value; copies copy the label.
class CurlingMoveState {
 public:
  double x = 0.0;    // target, board frame (widened from the float arguments)
  double y = 0.0;    //
  double vx = 0.0;   // shot vector that sends the stone to the target (m/s)
  double vy = 0.0;   //
  int32_t spin = 0;  // 0 curls toward +x, 1 toward -x
  std::string
      label;  // pattern name, e.g. "FREEZE1"; short enough to stay in the string's own buffer

  CurlingMoveState() = default;
  // The target must lie in the play area (single precision). The shot vector
  // is computed here, once, by table lookups only.
  CurlingMoveState(float x_, float y_, const char* label_, bool spin_, int kind)
      : CurlingMoveState(aimFor(x_, y_, kind), label_, spin_) {}
  // The shot of an aim for one spin: the shot patterns make both spins of a
  // target from one aim.
  CurlingMoveState(const ShotAim& aim, const char* label_, bool spin_);

  Kelp::ShotVector shot() const { return Kelp::ShotVector{vx, vy, spin}; }
};
