#include "kelpsimulator/shot.h"

#include <algorithm>
#include <cmath>

#include "kelpsimulator/check.h"
#include "kelpsimulator/contact.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/simulator.h"

namespace Kelp {

namespace {

constexpr double NOISE_MEAN = 0.0;
constexpr double CURL_OFFSET = static_cast<double>(1.22f);      // m, sideways aim offset
constexpr double CURL_ROTATION = static_cast<double>(0.0335f);  // small-angle rotation factor
constexpr double SPEED_CONSTANT = 24.0184326171875;             // 2 * FRICTION: speed^2 per metre
constexpr double RECEDING_TOLERANCE = 1e-05;
constexpr double CONTACT_GAP = 0.0006;
// The thrown stone cannot reach any stone when its straight travel ends at
// least this far in front of the nearest one. Two radii: a stone that stops
// closer than one diameter in front of another would overlap it.
constexpr double REACH_MARGIN = TOUCH_DISTANCE;

double speedOf(const ShotVector& shot) {
  return std::min(std::hypot(shot.vx, shot.vy), MAX_SPEED);
}

FSStone thrownStone(const ShotVector& shot) {
  FSStone a;
  a.x = FX_TEE;
  a.y = THROW_Y;
  a.th = std::atan2(shot.vx, shot.vy);
  a.t = 0.0;
  a.v = speedOf(shot);
  a.w = curlRate(shot.spin);
  return a;
}

FSStone boardStone(const ThinkBoard& board, int col, int i) {
  FSStone s;
  s.x = board.stones[col][i].x;
  s.y = board.stones[col][i].y;
  s.state = board.state[col][i];
  return s;
}

double dist(const FSStone& a, const FSStone& b) {
  return std::hypot(b.x - a.x, b.y - a.y);
}

double dist2(const FSStone& a, double x, double y) {
  const double dx = x - a.x;
  const double dy = y - a.y;
  return dx * dx + dy * dy;
}

int chordRow(double dRest, int k) {
  return std::min(k, static_cast<int>(speedForDistance(dRest) / PATH_STEP));
}

// The thrown stone slides to rest without touching anything.
ShotOutcome restAlone(ThinkBoard& board, int k, FSStone& a, int col) {
  advanceToRest(k, a);
  if (!isInPlayArea(a.x, a.y)) return SHOT_UNCHANGED;
  board.putStone(col, a.x, a.y);
  return SHOT_ADDED;
}

}  // namespace

Velocity shotForTarget(double x, double y, int spin) {
  double px;
  double py;
  if (spin == 0) {
    px = x - CURL_OFFSET + CURL_ROTATION * y;
    py = y - CURL_ROTATION * x;
  } else {
    px = x + CURL_OFFSET - CURL_ROTATION * y;
    py = y + CURL_ROTATION * x;
  }
  const double dx = px - FX_TEE;
  const double dy = py - THROW_Y;
  const double l = std::hypot(dx, dy);
  const double k = std::sqrt(SPEED_CONSTANT) / std::sqrt(l);
  return {k * dx, k * dy};
}

Velocity executionError(DsfmtEngine& engine) {
  return executionError(engine, NOISE_SD);
}

Velocity executionError(DsfmtEngine& engine, double sd) {
  // Box-Muller from two open-interval draws, so log(u1) is always finite.
  const double u1 = engine.openOpen();
  const double u2 = engine.openOpen();
  const double r = std::sqrt(-2.0 * std::log(u1));
  const double a = 6.283185307179586 * u2;
  const double gx = r * std::cos(a) * sd + NOISE_MEAN;
  const double gy = r * std::sin(a) * sd + NOISE_MEAN;
  const Velocity t = shotForTarget(gx, gy, 0);
  return {TEE_SHOT_VX - t.vx, TEE_SHOT_VY - t.vy};
}

ShotOutcome placeAtRest(ThinkBoard& board, double speed, double th, int spin) {
  const PathRow& row = pathBySpeed[pathIndex(speed)];
  const double m = spin != 0 ? -1.0 : 1.0;
  const double dx = m * row.dx;
  const double alpha = th + m * row.dth;
  const double x = row.dy * std::sin(alpha) + dx * std::cos(alpha) + FX_TEE;
  const double y = row.dy * std::cos(alpha) - dx * std::sin(alpha) + THROW_Y;
  if (!isInPlayArea(x, y)) return SHOT_UNCHANGED;
  board.putStone(board.getTurn() % 2, x, y);
  return SHOT_ADDED;
}

ShotOutcome oneStone(ThinkBoard& board, const ShotVector& shot) {
  const int col = board.getTurn() % 2;
  const int bc = board.count[BLACK] == 0 ? WHITE : BLACK;
  KELP_CHECK(board.count[bc] > 0);
  FSStone b = boardStone(board, bc, 0);
  FSStone a = thrownStone(shot);
  double d = distanceForSpeed(a.v);
  int k = pathIndex(a.v);
  double g = dist(a, b) - TOUCH_DISTANCE;
  if (g > d) return restAlone(board, k, a, col);
  while (g >= CONTACT_GAP) {
    const double dNext = afterChord(g, d);
    const int k1 = chordRow(dNext, k);
    advance(k, k1, a);
    k = k1;
    d = dNext;
    double gNext = dist(a, b) - TOUCH_DISTANCE;
    if (gNext > g + RECEDING_TOLERANCE) gNext = 9999.0;  // moving away
    if (gNext > dNext) return restAlone(board, k, a, col);
    g = gNext;
  }
  collideResting(a, b);
  advanceToRest(pathIndex(a.v), a);
  advanceToRest(pathIndex(b.v), b);
  const bool bInPlay = isInPlayArea(b.x, b.y);
  if ((b.state & STONE_PROTECTED) != 0 && !bInPlay) return SHOT_UNCHANGED;
  board.in_house[0] = board.in_house[1] = 0;
  board.count[0] = board.count[1] = 0;
  if (bInPlay) board.setStone(bc, b.x, b.y);
  if (isInPlayArea(a.x, a.y)) board.setStone(col, a.x, a.y);
  return SHOT_REBUILT;
}

ShotOutcome firstContact(ThinkBoard& board, const ShotVector& shot) {
  const int col = board.getTurn() % 2;
  FSStone a = thrownStone(shot);
  prefetchRow(a.v);  // needed after the scan of the board
  double d = distanceForSpeed(a.v);
  const double reach = d + TOUCH_DISTANCE;

  // Candidates: board index (colour * 8 + position) and squared distance.
  int index[16];
  double stored[16];
  int n = 0;
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < board.count[c]; ++i) {
      const double d2 = dist2(a, board.stones[c][i].x, board.stones[c][i].y);
      if (d2 < reach * reach) {
        index[n] = c * 8 + i;
        stored[n] = d2;
        ++n;
      }
    }
  }
  auto nearest = [&](double& x1, int& h) {
    x1 = 9999.0;
    h = -1;
    for (int e = 0; e < n; ++e) {
      if (stored[e] < x1) {
        x1 = stored[e];
        h = index[e];
      }
    }
  };
  double x1;
  int h;
  nearest(x1, h);

  int k = pathIndex(a.v);
  while (x1 <= (d + TOUCH_DISTANCE) * (d + TOUCH_DISTANCE)) {
    if (x1 < CONTACT_DISTANCE * CONTACT_DISTANCE) {
      FSStone b = boardStone(board, h / 8, h % 8);
      collideResting(a, b);
      prefetchRow(a.v);
      prefetchRow(b.v);
      FSBoard fsb;
      fromContact(fsb, board, h, a, b);
      return simulate(board, fsb);
    }
    const double g = std::sqrt(x1) - TOUCH_DISTANCE;
    const double dNext = afterChord(g, d);
    const int k1 = chordRow(dNext, k);
    advance(k, k1, a);
    k = k1;
    d = dNext;
    const double keep = (dNext + TOUCH_DISTANCE) * (dNext + TOUCH_DISTANCE);
    for (int e = n - 1; e >= 0; --e) {
      const Stone& s = board.stones[index[e] / 8][index[e] % 8];
      const double d2 = dist2(a, s.x, s.y);
      if (d2 < keep && d2 < stored[e] + RECEDING_TOLERANCE) {
        stored[e] = d2;
      } else {
        --n;
        index[e] = index[n];
        stored[e] = stored[n];
      }
    }
    nearest(x1, h);
  }
  return restAlone(board, k, a, col);
}

ShotOutcome simulateShot(ThinkBoard& board, const ShotVector& shot) {
  const double s = speedOf(shot);
  const double d = distanceForSpeed(s);
  if (board.front_y - REACH_MARGIN - THROW_Y > d) {
    return placeAtRest(board, s, std::atan2(shot.vx, shot.vy), shot.spin);
  }
  if (board.count[BLACK] + board.count[WHITE] == 1) return oneStone(board, shot);
  return firstContact(board, shot);
}

ShotOutcome executeShot(ThinkBoard& board, const ShotVector& shot, DsfmtEngine& engine) {
  return throwWithError(board, shot, executionError(engine));
}

ShotOutcome throwWithError(ThinkBoard& board, const ShotVector& shot, const Velocity& e) {
  const ShotVector s{shot.vx + e.vx, shot.vy + e.vy, shot.spin};
  ShotOutcome outcome;
  if (board.count[BLACK] == 0 && board.count[WHITE] == 0) {
    outcome = placeAtRest(board, speedOf(s), std::atan2(s.vx, s.vy), s.spin);
  } else {
    outcome = simulateShot(board, s);
  }
  board.afterShot(outcome);
  return outcome;
}

}  // namespace Kelp
