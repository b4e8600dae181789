// Shot execution: the one operation through which the program throws a
// stone. It adds random execution error, finds the first contact with the
// trajectory tables, hands a contact to the fast simulator, writes the result
// into the think board and advances it by one throw.
#pragma once

#include <cstdint>

#include "kelpsimulator/fastsimulator.h"
#include "kelpsimulator/random.h"
#include "kelpsimulator/thinkboard.h"

namespace Kelp {

inline constexpr double CURL_SPIN =
    static_cast<double>(0.066696f);  // rad/s given to the thrown stone
// Angular velocity of a thrown stone (rad/s): spin 0 curls one way, any
// other spin the other.
inline constexpr double curlRate(int spin) {
  return spin == 0 ? CURL_SPIN : -CURL_SPIN;
}
inline constexpr double NOISE_SD = static_cast<double>(0.145f);  // m, target scatter per axis
inline constexpr double TEE_SHOT_VX = -0.99073974;  // shotForTarget of the tee, spin 0 (m/s)
inline constexpr double TEE_SHOT_VY = 29.559775;

// Shot vector in the board frame: vy > 0 toward the house.
struct ShotVector {
  double vx = 0.0;  // m/s
  double vy = 0.0;  // m/s
  int spin = 0;     // 0: curls toward +x, otherwise toward -x
};

// Result of one throw, and the changed argument of ThinkBoard::afterShot.
using ShotOutcome = int;
inline constexpr ShotOutcome SHOT_UNCHANGED = 0;  // thrown stone out of play, or foul
inline constexpr ShotOutcome SHOT_ADDED = 1;      // no contact, thrown stone at rest in play
inline constexpr ShotOutcome SHOT_REBUILT = 2;    // contact; all stones rebuilt

struct Velocity {
  double vx;  // m/s
  double vy;  // m/s
};

// Throws the shot with execution error drawn from engine, then afterShot.
ShotOutcome executeShot(ThinkBoard& board, const ShotVector& shot, DsfmtEngine& engine);
// The throw of executeShot once its error is drawn: shot + error, then
// afterShot. For callers that choose or report the error themselves.
ShotOutcome throwWithError(ThinkBoard& board, const ShotVector& shot, const Velocity& error);
// The error added to (vx, vy): the velocity difference between aiming at the
// tee and aiming at a point scattered around it (sd NOISE_SD per axis).
Velocity executionError(DsfmtEngine& engine);
// The same draw with another scatter sd (m per axis, not negative).
Velocity executionError(DsfmtEngine& engine, double sd);
// Straight estimate of the velocity that stops a stone at target (x, y).
Velocity shotForTarget(double x, double y, int spin);

// The error-free simulation (the board must hold at least one stone); it does
// not call afterShot.
ShotOutcome simulateShot(ThinkBoard& board, const ShotVector& shot);
ShotOutcome placeAtRest(ThinkBoard& board, double speed, double th, int spin);
ShotOutcome oneStone(ThinkBoard& board, const ShotVector& shot);
ShotOutcome firstContact(ThinkBoard& board, const ShotVector& shot);

}  // namespace Kelp
