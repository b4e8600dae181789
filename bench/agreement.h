// How well the fast model predicts the exact one on contact shots: seeded
// random boards and contact shots (take-outs, raises and taps, draws that
// come to rest touching a stone), each thrown without execution error through
// the fast path (simulateShot) and, from the release point, through the exact
// model; per shot the largest distance between where the two models put the
// same stone. bench/agreement.cpp prints the figures; the shot test holds
// 300 of these shots to bounds. The trajectory tables must be built.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <optional>
#include <vector>

#include "tests/support/boards.h"
#include "kelpsimulator/exact.h"
#include "kelpsimulator/shot.h"

namespace Kelp::agreement {

// The unimpeded path of a shot passes over (tx, ty) with the straight
// distance extra still to go (found by iterating on the tables).
inline ShotVector aimThrough(double tx, double ty, double extra, int spin) {
  const double want = std::atan2(tx, ty - THROW_Y);
  const double dist = std::hypot(tx, ty - THROW_Y);
  ShotVector s{0.0, 0.0, spin};
  double th = want, v = speedForDistance(dist + extra);
  for (int it = 0; it < 20; ++it) {
    s = {std::sin(th) * v, std::cos(th) * v, spin};
    FSStone a;
    a.y = THROW_Y, a.th = th, a.v = v, a.w = curlRate(spin);
    advance(pathIndex(v), pathIndex(speedForDistance(extra)), a);
    th += want - std::atan2(a.x, a.y - THROW_Y);
    v = speedForDistance(distanceForSpeed(v) + dist - std::hypot(a.x, a.y - THROW_Y));
  }
  return s;
}

struct Shot {
  ThinkBoard board;
  ShotVector shot;
};

// 1 to 15 stones in and in front of the house, none protected (the foul is
// no question of agreement), positions in single precision so that the exact
// model keeps an untouched stone bit for bit; a random stone is the target.
inline Shot randomShot(DsfmtEngine& e) {
  auto u = [&](double lo, double hi) { return lo + (e.closeOpen12() - 1.0) * (hi - lo); };
  const int n = 1 + e.index(15);
  const int thrown = n + e.index(16 - n);  // stones thrown so far, some maybe out of play
  Shot s;
  ThinkBoard& b = s.board;
  b.turn = 16 - thrown + 1;                      // afterShot below takes it to 16 - thrown
  int left[2] = {(thrown + 1) / 2, thrown / 2};  // BLACK throws first
  std::vector<At> placed;
  while (static_cast<int>(placed.size()) < n) {
    double x, y;
    if (e.closeOpen12() < 1.7) {  // in the house
      const double r = 1.9 * std::sqrt(u(0.0, 1.0)), a = u(0.0, 2.0 * M_PI);
      x = r * std::cos(a), y = r * std::sin(a);
    } else {  // guards
      x = u(-1.5, 1.5), y = u(-6.0, -2.0);
    }
    x = static_cast<float>(x), y = static_cast<float>(y);
    const auto near = [&](const At& p) { return std::hypot(p.x - x, p.y - y) <= 0.3; };
    if (!isInPlayArea(x, y) || std::ranges::any_of(placed, near)) continue;
    const int drawn = e.index(2), col = left[drawn] == 0 ? 1 - drawn : drawn;
    --left[col];
    placed.push_back({col, x, y});
    b.setStone(col, x, y);
  }
  b.afterShot(SHOT_REBUILT);
  for (auto& row : b.state)
    for (uint32_t& w : row) w &= ~STONE_PROTECTED;
  const At& t = placed[e.index(n)];
  const int spin = e.index(2);
  const double kind = u(0.0, 1.0);
  if (kind < 0.7) {  // a take-out, or a raise or tap
    s.shot = aimThrough(t.x, t.y, kind < 0.4 ? u(2.0, 8.0) : u(0.3, 2.0), spin);
  } else {  // a draw to rest against the stone, from its front or side
    const double a = u(-0.6 * M_PI, 0.6 * M_PI), d = u(0.15, 0.29);
    s.shot = aimThrough(t.x + d * std::sin(a), t.y - d * std::cos(a), u(0.01, 0.1), spin);
  }
  return s;
}

// The whole throw in the exact model, from the release point, with step dt.
inline std::vector<At> exactRests(const Shot& s, double dt) {
  ThinkBoard after = s.board;
  throwExact(after, s.shot, dt);
  return stonesOf(after);
}

// A stone that some model moved: not at its place on the board before.
inline bool touched(const Shot& s, const std::vector<At>& after) {
  return std::ranges::any_of(stonesOf(s.board), [&](const At& p) {
    return std::ranges::none_of(after, [&](const At& q) { return q.x == p.x && q.y == p.y; });
  });
}

// With the same number of stones of each colour in play: the largest
// distance between the two places of a stone, stones paired to make it least.
inline std::optional<double> compare(std::vector<At> a, std::vector<At> b) {
  // Stones at the very same place are the same stone, untouched in both.
  for (auto i = a.begin(); i != a.end();) {
    const auto same = std::ranges::find_if(
        b, [&](const At& q) { return q.col == i->col && q.x == i->x && q.y == i->y; });
    i = same == b.end() ? i + 1 : (b.erase(same), a.erase(i));
  }
  double largest = 0.0;
  for (int col = 0; col < 2; ++col) {
    const auto ofCol = [&](const At& p) { return p.col == col; };
    std::vector<At> pa, pb;
    std::ranges::copy_if(a, std::back_inserter(pa), ofCol);
    std::ranges::copy_if(b, std::back_inserter(pb), ofCol);
    if (pa.size() != pb.size()) return std::nullopt;
    // The pairing whose largest distance is least, over all pairings (few
    // stones move in a shot).
    std::vector<size_t> perm(pb.size());
    std::iota(perm.begin(), perm.end(), size_t{0});
    double best = pa.empty() ? 0.0 : 1e9;
    do {
      double worst = 0.0;
      for (size_t i = 0; i < pa.size() && worst < best; ++i)
        worst = std::max(worst, std::hypot(pa[i].x - pb[perm[i]].x, pa[i].y - pb[perm[i]].y));
      best = std::min(best, worst);
    } while (std::next_permutation(perm.begin(), perm.end()));
    largest = std::max(largest, best);
  }
  return largest;
}

struct Figures {
  int shots = 0;
  double median = 0, p90 = 0, p99 = 0;  // of the largest distance per shot with the same set (m)
  double setDiffers = 0;                // share of shots whose sets in play differ
};

// Draws shots from seed until count of them touch a stone in either model.
inline Figures measure(uint32_t seed, int count, double dt) {
  DsfmtEngine e(seed);
  std::vector<double> largest;
  int differ = 0, shots = 0;
  while (shots < count) {
    const Shot s = randomShot(e);
    ThinkBoard b = s.board;
    simulateShot(b, s.shot);
    const std::vector<At> fast = stonesOf(b), exact = exactRests(s, dt);
    if (!touched(s, fast) && !touched(s, exact)) continue;
    ++shots;
    const std::optional<double> d = compare(fast, exact);
    if (d) largest.push_back(*d);
    differ += !d;
  }
  std::sort(largest.begin(), largest.end());
  auto at = [&](double q) {
    return largest.empty() ? 0.0 : largest[static_cast<size_t>(q * (largest.size() - 1) + 0.5)];
  };
  return {shots, at(0.5), at(0.9), at(0.99), static_cast<double>(differ) / shots};
}

}  // namespace Kelp::agreement
