#include "python/board.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "kelpsimulator/trajectory.h"

namespace KelpPy {

namespace {

// The sheet in the board frame with a metre to spare: a stone anywhere on it
// is a stone (in play or not); one beyond it is a caller's mistake.
constexpr double SHEET_HALF_WIDTH = 3.5;
constexpr double SHEET_Y_MIN = Kelp::THROW_Y - 10.0;
constexpr double SHEET_Y_MAX = 6.0;
// Stones at rest touch but do not overlap; the exact model leaves them a
// few millimetres into each other at most. Deeper than this is no position.
constexpr double OVERLAP_TOLERANCE = 0.02;
constexpr double MAX_THROW_SPEED = 50.0;  // m/s; the fast path saturates at MAX_SPEED
constexpr int MAX_ENDS = 16;              // the record holds sixteen ends
constexpr int MAX_SCORE_DIFF = 1000;

std::string format(const char* fmt, double a, double b, int k) {
  char buf[160];
  std::snprintf(buf, sizeof buf, fmt, k, a, b);
  return buf;
}

}  // namespace

Kelp::ClientField Board::record() const {
  Kelp::ClientField f;
  for (int k = 0; k < SLOTS; ++k) {
    if (inPlay(k)) f.position[k] = {serverX(xy[k][0]), serverY(xy[k][1])};
  }
  f.shot = shot;
  f.end = end;
  f.last_end = ends;
  // score_diff is the first thrower's lead. As the server reports it,
  // player 0 is then the first thrower, and so (the last side to score
  // throws first) the scorer of the end before: that is how the record says
  // which side leads.
  f.rel_score = score_diff;
  f.score[0] = score_diff > 0 ? score_diff : 0;
  f.score[1] = score_diff < 0 ? -score_diff : 0;
  if (score_diff != 0 && end > 0) f.end_score[end - 1][0] = 1;
  return f;
}

Board makeBoard(const double (&xy)[SLOTS][2], int shot, int end, int ends, int score_diff) {
  Board b;
  for (int k = 0; k < SLOTS; ++k) {
    const double x = xy[k][0];
    const double y = xy[k][1];
    if (!std::isfinite(x) || !std::isfinite(y)) {
      throw BadInput{format("stone %d at (%g, %g): coordinates must be finite numbers", x, y, k)};
    }
    if (std::fabs(x) > SHEET_HALF_WIDTH || y < SHEET_Y_MIN || y > SHEET_Y_MAX) {
      throw BadInput{format("stone %d at (%g, %g) (board frame) lies far off the sheet", x, y, k)};
    }
    b.xy[k][0] = x;
    b.xy[k][1] = y;
  }
  if (shot < 0 || shot > SLOTS) {
    throw BadInput{"shot number " + std::to_string(shot) + " is not in 0..16"};
  }
  if (ends < 1 || ends > MAX_ENDS) {
    throw BadInput{"ends " + std::to_string(ends) + " is not in 1..16"};
  }
  if (end < 0 || end >= ends) {
    throw BadInput{"end " + std::to_string(end) + " is not in 0.." + std::to_string(ends - 1)};
  }
  if (score_diff < -MAX_SCORE_DIFF || score_diff > MAX_SCORE_DIFF) {
    throw BadInput{"score_diff " + std::to_string(score_diff) + " is out of range"};
  }
  const double closest = 2.0 * Kelp::STONE_RADIUS - OVERLAP_TOLERANCE;
  for (int i = 0; i < SLOTS; ++i) {
    for (int j = i + 1; j < SLOTS; ++j) {
      if (!b.inPlay(i) || !b.inPlay(j)) continue;
      if (std::hypot(b.xy[i][0] - b.xy[j][0], b.xy[i][1] - b.xy[j][1]) < closest) {
        throw BadInput{"stones " + std::to_string(i) + " and " + std::to_string(j) +
                       " lie on top of each other"};
      }
    }
  }
  b.shot = shot;
  b.end = end;
  b.ends = ends;
  b.score_diff = score_diff;
  std::string why;
  const std::optional<Kelp::ThinkBoard> think =
      Kelp::ThinkBoard::fromStones(b.xy, Kelp::TURN_FIRST - shot, ends - end - 1, score_diff, &why);
  if (!think) {
    throw BadInput{"too many stones in play for shot " + std::to_string(shot) + " (" + why + ")"};
  }
  b.think = *think;
  return b;
}

void boardAfter(const Board& before, const Kelp::ThinkBoard& think, Board& out) {
  out.shot = before.shot + 1;
  out.end = before.end;
  out.ends = before.ends;
  out.score_diff = before.score_diff;
  out.think = think;
  for (int col = Kelp::BLACK; col <= Kelp::WHITE; ++col) {
    int k = col;
    for (int i = 0; i < think.count[col]; ++i, k += 2) {
      out.xy[k][0] = think.stones[col][i].x;
      out.xy[k][1] = think.stones[col][i].y;
    }
    for (; k < SLOTS; k += 2) {
      out.xy[k][0] = OUT_X;
      out.xy[k][1] = OUT_Y;
    }
  }
}

Kelp::ShotVector checkShot(double vx, double vy, long spin, bool serverFrame) {
  if (!std::isfinite(vx) || !std::isfinite(vy)) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "shot (%g, %g): velocities must be finite numbers", vx, vy);
    throw BadInput{buf};
  }
  if (spin != 0 && spin != 1) {
    throw BadInput{"spin " + std::to_string(spin) + " is not 0 or 1"};
  }
  if (std::hypot(vx, vy) > MAX_THROW_SPEED) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "shot (%g, %g) is faster than %g m/s", vx, vy, MAX_THROW_SPEED);
    throw BadInput{buf};
  }
  return {vx, serverFrame ? -vy : vy, static_cast<int>(spin)};
}

}  // namespace KelpPy
