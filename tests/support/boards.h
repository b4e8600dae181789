// The test boards, named once and shared by the tests and the benchmarks,
// and the one way they are built.
#pragma once

#include <cstdint>
#include <vector>

#include "kelpsimulator/digest.h"
#include "kelpsimulator/thinkboard.h"

namespace Kelp {

struct At {
  int col;
  double x, y;  // board frame
};

// A board at the given turn holding the stones: set one by one, then (with
// rebuilt) the update a collision on the throw before makes to flags and
// score. The first throw of an end is the empty board as it starts.
inline ThinkBoard boardWith(int turn, const std::vector<At>& stones, bool rebuilt = true) {
  ThinkBoard b;
  if (turn == TURN_FIRST && stones.empty()) return b;
  b.turn = turn + rebuilt;
  for (const At& p : stones) b.setStone(p.col, p.x, p.y);
  if (rebuilt) b.afterShot(2);
  return b;
}

inline std::vector<At> stonesOf(const ThinkBoard& b) {
  std::vector<At> out;
  for (int col = 0; col < 2; ++col) {
    for (int i = 0; i < b.count[col]; ++i)
      out.push_back({col, b.stones[col][i].x, b.stones[col][i].y});
  }
  return out;
}

// Every member a throw can change, bit for bit: equal digests, same board.
inline uint64_t digestOf(const ThinkBoard& b) {
  Digest d;
  d.add(b);
  return d.value();
}

namespace boards {

// Seven stones, WHITE to throw turn 9: guards of both colours, stones in and
// around the house.
inline ThinkBoard midEnd7() {
  // clang-format off
  return boardWith(9, {{BLACK, 0.0, -3.0}, {BLACK, 0.4, 0.2}, {BLACK, -0.9, 1.0},
                       {BLACK, -1.2, -1.4}, {WHITE, 0.5, -2.5}, {WHITE, -0.2, -0.1},
                       {WHITE, 1.1, 0.8}});
  // clang-format on
}

// The first `black` BLACK and `white` WHITE stones of eight each in and
// around the house, every one of them giving candidates, at the given turn.
inline ThinkBoard crowded(int turn, int black, int white) {
  // clang-format off
  static const At stones[2][8] = {
      {{BLACK, 0.1, 0.2}, {BLACK, -0.6, -0.9}, {BLACK, 0.8, -2.5}, {BLACK, 0.0, -4.0},
       {BLACK, 1.2, 0.9}, {BLACK, -1.4, -0.2}, {BLACK, 0.4, -1.3}, {BLACK, -0.3, 1.5}},
      {{WHITE, 0.3, 0.5}, {WHITE, -1.2, 0.4}, {WHITE, 0.5, -1.6}, {WHITE, -0.2, 1.1},
       {WHITE, 0.9, -0.4}, {WHITE, -0.7, -2.2}, {WHITE, 1.5, -0.6}, {WHITE, -0.9, 1.3}}};
  // clang-format on
  std::vector<At> v(stones[0], stones[0] + black);
  v.insert(v.end(), stones[1], stones[1] + white);
  return boardWith(turn, v);
}

// Halfway through an end: three stones each, guards and stones in the house.
inline ThinkBoard midEnd6() {
  return crowded(10, 3, 3);
}

}  // namespace boards
}  // namespace Kelp
