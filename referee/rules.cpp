#include "referee/rules.h"

#include <cmath>
#include <limits>

#include "kelpsimulator/primitive.h"

namespace Kelp::Referee {

std::array<bool, SHOTS_PER_END> protectedStones(const Sheet& sheet, int shot) {
  std::array<bool, SHOTS_PER_END> prot{};
  if (shot >= FREE_GUARD_SHOTS) return prot;
  // Slots of the side not throwing have the other parity than shot.
  for (int k = 1 - shot % 2; k < shot; k += 2) {
    const Stone& s = sheet[k];
    if (s.inPlay && isInFreeGuardZone(std::hypot(s.x, s.y), s.y)) prot[k] = true;
  }
  return prot;
}

EndScore scoreEnd(const Sheet& sheet, int firstSide) {
  // Nearest distance in the house per colour (slot parity).
  constexpr double NONE = std::numeric_limits<double>::infinity();
  double nearest[2] = {NONE, NONE};
  for (int k = 0; k < SHOTS_PER_END; ++k) {
    const Stone& s = sheet[k];
    const double r = std::hypot(s.x, s.y);
    if (s.inPlay && inHouse(r) && r < nearest[k % 2]) nearest[k % 2] = r;
  }
  if (nearest[0] == nearest[1]) return {};  // both empty, or a tie for nearest
  const int col = nearest[0] < nearest[1] ? 0 : 1;
  int points = 0;
  for (int k = col; k < SHOTS_PER_END; k += 2) {
    const Stone& s = sheet[k];
    const double r = std::hypot(s.x, s.y);
    if (s.inPlay && inHouse(r) && r < nearest[1 - col]) ++points;
  }
  return {col == 0 ? firstSide : 1 - firstSide, points};
}

RecordPositions toRecord(const Sheet& sheet) {
  RecordPositions out{};
  for (int k = 0; k < SHOTS_PER_END; ++k) {
    if (!sheet[k].inPlay) continue;
    out[k] = {static_cast<float>(sheet[k].x + RECORD_TEE_X),
              static_cast<float>(static_cast<double>(RECORD_TEE_Y) - sheet[k].y)};
  }
  return out;
}

}  // namespace Kelp::Referee
