// The event-driven fast simulator. It carries a shot on from the thrown
// stone's first contact until every stone rests: it repeatedly computes a
// span in which no two stones can touch, moves every moving stone across it
// by one table lookup, and resolves contacts with closed-form rules. After
// EVENT_LIMIT events the stones are handed over to the exact model.
#pragma once

#include <cstdint>

#include "kelpsimulator/bitSet.h"
#include "kelpsimulator/contact.h"
#include "kelpsimulator/thinkboard.h"
#include "kelpsimulator/trajectory.h"

namespace Kelp {

inline constexpr double TANGENTIAL_FACTOR = 0.159;  // share of tangential sliding passed on
inline constexpr int EVENT_LIMIT = 100;

struct FSBoard {
  FSStone aw_stone[16];
  bitSet awakes;  // slots of the moving stones
  int32_t awake_count = 0;
  bitSet asleeps;  // slots of the stones at rest
  int32_t asleep_count = 0;
  uint32_t shooter = 0;  // colour of the side that threw
  int32_t events = 0;    // events simulate has run so far (read by tests and benchmarks)

  // Consistency check; prints the first violation to standard error.
  bool exam() const;
  // The same rules, checked quickly and silently: true exactly when exam()
  // returns true. The event loop asks exam() only when this says false.
  bool plausible() const;
};

// Builds fsb after the first contact: board is the think board before the
// shot, hit the think-board index (colour * 8 + list position) of the struck
// stone, thrown and struck the two stones after the contact rule.
void fromContact(FSBoard& fsb, const ThinkBoard& board, int hit, const FSStone& thrown,
                 const FSStone& struck);

// Runs the events. Returns the ShotOutcome: 0 when a protected stone left
// play (out untouched), 2 when out was rebuilt from the stones at rest.
int simulate(ThinkBoard& out, FSBoard& fsb);

// Hands the stones over to the exact model with step dt (s). Returns the
// ShotOutcome: 2 with out rebuilt from the stones at rest, or 0 with out
// untouched when a protected stone left play during the exact run (a foul,
// as on the fast path).
int exactFallback(FSBoard& fsb, ThinkBoard& out, double dt);

// Contact rules: a moving, b at rest / both moving.
void collideResting(FSStone& a, FSStone& b);
void collideMoving(FSStone& a, FSStone& b);

}  // namespace Kelp
