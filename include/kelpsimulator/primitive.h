// Sheet geometry: the two frames, the distances every limit derives from,
// the play-area and free-guard-zone predicates, colours and turn numbering.
//
// Units: metres for lengths, seconds for times, metres per second for speeds.
// Record frame: the server's positions, tee at (2.375, 4.88), stones travel
// toward smaller y. Board frame: tee at the origin, stones travel toward +y,
// release point (0, THROW_Y).
#pragma once

#include <cstdint>

namespace Kelp {

// Base values. The derived limits below are computed from them exactly as
// written (a float widened to double before the sum), and those exact doubles
// are what every board-side comparison uses.
inline constexpr double FX_TEE = 0.0;          // x of the tee, board frame
inline constexpr double RECORD_TEE_X = 2.375;  // x of the tee, record frame; half the sheet width
inline constexpr float RECORD_TEE_Y = 4.88f;   // y of the tee, record frame
inline constexpr float HOUSE_RADIUS = 1.83f;   // house radius; the back line is at y = 1.83
inline constexpr float STONE_RADIUS = 0.145f;  // stone radius
inline constexpr double THROW_Y = -36.399999499320984;  // y of the release point

inline constexpr double IN_HOUSE_RADIUS =
    static_cast<double>(HOUSE_RADIUS) + static_cast<double>(STONE_RADIUS);  // 1.975000038743019
inline constexpr double PLAY_AREA_HALF_WIDTH =
    RECORD_TEE_X - static_cast<double>(STONE_RADIUS);  // 2.230000004172325
inline constexpr double PLAY_AREA_Y_MIN =
    THROW_Y - static_cast<double>(STONE_RADIUS);            // -36.54499949514866
inline constexpr double PLAY_AREA_Y_MAX = IN_HOUSE_RADIUS;  // 1.975000038743019
inline constexpr double FREE_GUARD_Y_MAX =
    -static_cast<double>(STONE_RADIUS);  // -0.14499999582767487

// Colours: BLACK throws the first stone of an end, WHITE the last.
inline constexpr int BLACK = 0;
inline constexpr int WHITE = 1;
inline constexpr const char* COLOR_NAME[2] = {"BLACK", "WHITE"};

// A colour is valid when, taken as unsigned, it is at most 1.
inline constexpr bool examColor(int col) {
  return static_cast<unsigned>(col) <= 1u;
}
inline constexpr bool examColor(unsigned col) {
  return col <= 1u;
}

// Throws left in the end: turn = 16 - shot number. The stone thrown at turn t
// has colour t % 2. Turns 16..13 are the free-guard period.
inline constexpr int TURN_FIRST = 16;
inline constexpr int TURN_LAST = 0;

// Play area, board frame, all bounds inclusive.
inline constexpr bool isInPlayArea(double x, double y) {
  return -PLAY_AREA_HALF_WIDTH <= x && x <= PLAY_AREA_HALF_WIDTH && PLAY_AREA_Y_MIN <= y &&
         y <= PLAY_AREA_Y_MAX;
}
// The single-precision variant used by the candidate-shot constructor.
inline constexpr bool isInPlayArea(float x, float y) {
  return -2.23f <= x && x <= 2.23f && -36.545f <= y && y <= 1.975f;
}

// r < IN_HOUSE_RADIUS (strict): the stone touches the house.
inline constexpr bool inHouse(double r) {
  return r < IN_HOUSE_RADIUS;
}

// Free guard zone for a stone at distance r from the tee and ordinate y.
// The caller asserts isInPlayArea(FX_TEE, y) for stones outside the house.
bool isInFreeGuardZone(double r, double y);
template <class StoneT>
bool isInFreeGuardZone(const StoneT& s) {
  return isInFreeGuardZone(s.r, s.y);
}

// Record frame -> board frame. Positions are never converted back.
inline constexpr double toBoardX(float x) {
  return static_cast<double>(x) - RECORD_TEE_X;
}
inline constexpr double toBoardY(float y) {
  return -(static_cast<double>(y) - static_cast<double>(RECORD_TEE_Y));
}

}  // namespace Kelp
