// Match rules: who throws which stone, the free guard zone, scoring an end,
// the order of play in the next end, and the positions the engines are told.
#pragma once

#include <array>

#include "referee/protocol.h"

namespace Kelp::Referee {

// The two engines of a match: A is the first command, B the second.
inline constexpr int SIDE_A = 0;
inline constexpr int SIDE_B = 1;
inline constexpr const char* SIDE_NAME[2] = {"A", "B"};

inline constexpr int SHOTS_PER_END = 16;
// The free-guard-zone rule protects guards during the first four throws.
inline constexpr int FREE_GUARD_SHOTS = 4;

// A stone of the current end in the board frame (tee at the origin, stones
// travel toward +y). Slot k of the sheet holds the stone thrown as shot k.
struct Stone {
  bool inPlay = false;
  double x = 0.0;  // m
  double y = 0.0;  // m
};
using Sheet = std::array<Stone, SHOTS_PER_END>;

// The side that throws shot (0..15) of an end that firstSide opened.
inline constexpr int throwerOf(int firstSide, int shot) {
  return shot % 2 == 0 ? firstSide : 1 - firstSide;
}
// A side's colour in the end: BLACK (0) for the side that throws first.
inline constexpr int colorOf(int firstSide, int side) {
  return side == firstSide ? 0 : 1;
}

// Stones protected for the throw of shot: during the first four throws, the
// stones of the side not throwing that lie in the free guard zone.
std::array<bool, SHOTS_PER_END> protectedStones(const Sheet& sheet, int shot);

struct EndScore {
  int side = -1;   // scoring side, -1 for a blank end
  int points = 0;  // 0 for a blank end
};
// The side with the stone nearest the tee scores one point for each of its
// stones in the house nearer than the opponent's nearest; a tie for nearest
// or an empty house is a blank end.
EndScore scoreEnd(const Sheet& sheet, int firstSide);

// The side that scored throws first in the next end; a blank end keeps the
// order.
inline constexpr int nextFirstSide(int firstSide, const EndScore& score) {
  return score.side < 0 ? firstSide : score.side;
}

// The sheet in the record frame (x + 2.375, 4.88 - y); stones not in play
// get (0, 0), which lies outside the play area.
RecordPositions toRecord(const Sheet& sheet);

}  // namespace Kelp::Referee
