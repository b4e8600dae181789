// Trajectory tables. A stone sliding alone follows a path that depends only
// on its speed and the sign of its spin, up to a rotation and a translation.
// At start-up the sliding rule is integrated once, backwards from rest, and
// stored in three process-wide tables; afterwards moving a stone to a lower
// speed or to its rest point is a lookup plus a rotation.
#pragma once

#include <cmath>
#include <cstdint>

#include "kelpsimulator/bitSet.h"

namespace Kelp {

// Largest speed of a thrown stone the fast model handles (m/s); callers clamp to it.
inline const double MAX_SPEED = std::hypot(3.1, 33.6);                   // 33.74270291485257
inline const double SPEED_STEP = MAX_SPEED * 6.103515625e-05;            // m/s, / 16384
inline const double PATH_STEP = (MAX_SPEED + 2.0) * 3.814697265625e-06;  // m/s, / 262144
inline constexpr double DISTANCE_STEP = 0.00299072265625;                // m, 49 / 16384
inline constexpr double TABLE_DT = 1.4285714285714286e-06;               // s, 1 / 700000

inline constexpr int DISTANCE_TABLE_SIZE = 16388;
inline constexpr int SPEED_TABLE_SIZE = 16388;
inline constexpr int PATH_TABLE_SIZE = 262148;

// One row of pathBySpeed, for a stone with positive spin in the table frame
// (it comes to rest at the origin travelling toward +y).
struct PathRow {
  double dx;   // m, vector from the stone to its rest point
  double dy;   // m
  double dth;  // rad, turn of the direction of travel until rest
  double t;    // s, time it still travels
};

// Zero until buildTables returns, read-only afterwards.
extern double distanceBySpeed[DISTANCE_TABLE_SIZE];  // m, entry j: speed j * SPEED_STEP
extern double speedByDistance[SPEED_TABLE_SIZE];     // m/s, entry k: distance k * DISTANCE_STEP
extern PathRow pathBySpeed[PATH_TABLE_SIZE];         // row k: speed k * PATH_STEP

// The fast model's stone record (also the path operations' argument).
struct FSStone {
  double x = 0.0;          // m, board frame
  double y = 0.0;          // m
  double th = 0.0;         // rad, direction of travel from +y toward +x: v * (sin th, cos th)
  double t = 0.0;          // s since the throw
  double v = 0.0;          // m/s
  double w = 0.0;          // rad/s; its sign selects the curl side
  bitSet asleeps;          // resting stones this moving stone may still hit
  bitSet awakes;           // moving stones this moving stone may still hit
  double reach = 0.0;      // m, D(v)
  double stop_time = 0.0;  // s, v / FRICTION
  uint32_t state = 0;      // think-board state word: bit 0 colour, bit 3 protected
};

// Fills the three tables on three threads and joins them. Called once by the
// entry point before anything is read.
void buildTables();

// The build's interpolation ratio: where target lies between the value one
// integration step nearer rest (previous) and the current one, 0.5 when the
// two are equal. A ratio outside 0..1 means the integration is broken: it is
// reported on the error stream and fails the assertion "0".
double crossingRatio(double previous, double current, double target);

// Linear interpolation in a table with a uniform index step. Inputs outside
// the table (negative, NaN, or past the last entry) take the nearest end.
// Inline with the three lookups below: the fast simulator calls them dozens
// of times per throw.
inline double interpolateTable(const double* table, int size, double step, double x) {
  if (!(x > 0.0)) {
    return table[0];
  }
  const int last = size - 1;
  if (x >= last * step) {
    return table[last];
  }
  int i = static_cast<int>(x / step);
  if (i > last - 1) {
    i = last - 1;
  }
  const double f = (x - i * step) / step;
  return (1.0 - f) * table[i] + f * table[i + 1];
}

// D(v): stopping distance (m) for speed v (m/s), interpolated. Clamped to the
// last table entries beyond the table.
inline double distanceForSpeed(double v) {
  return interpolateTable(distanceBySpeed, DISTANCE_TABLE_SIZE, SPEED_STEP, v);
}
// S(d): speed (m/s) at which a stone still travels the straight distance d (m).
inline double speedForDistance(double d) {
  return interpolateTable(speedByDistance, SPEED_TABLE_SIZE, DISTANCE_STEP, d);
}
// P(v): row index of pathBySpeed, trunc(v / PATH_STEP), clamped to the table.
inline int pathIndex(double v) {
  if (!(v > 0.0)) {
    return 0;
  }
  const double q = v / PATH_STEP;
  if (q >= PATH_TABLE_SIZE - 1) {
    return PATH_TABLE_SIZE - 1;
  }
  return static_cast<int>(q);
}

// Starts loading the row of speed v (m/s) into the cache. The rows of a
// random speed are far apart in an 8 MB table, and a stone that has just been
// struck needs its row a little later: started early, the load overlaps the
// work in between instead of stalling it.
inline void prefetchRow(double v) {
  __builtin_prefetch(&pathBySpeed[pathIndex(v)]);
}

// Moves a stone from row k to its rest point (t advances; th and v unchanged).
void advanceToRest(int k, FSStone& stone);
// Moves a stone from row k0 to row k1 < k0.
void advance(int k0, int k1, FSStone& stone);

}  // namespace Kelp
