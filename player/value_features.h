// The inputs of the learned value of a position: what the side to throw
// sees, in a fixed layout that does not depend on the order the stones were
// thrown in. The data generator writes them and the search evaluates them;
// the training script only reads them.
#pragma once

#include "player/curling.h"

// Own stones first, then the other side's: 8 slots each, nearest the tee
// first, 4 values per slot (present, x, y, distance from the tee; board
// frame, metres; an empty slot is zeros). Then the throws made in the end,
// one-hot over 0..15, then 1 when the side to throw has the hammer.
inline constexpr int VALUE_SLOTS = 8;
inline constexpr int VALUE_SLOT_FEATURES = 4;
inline constexpr int VALUE_THROWS_AT = 2 * VALUE_SLOTS * VALUE_SLOT_FEATURES;  // 64
inline constexpr int VALUE_HAMMER_AT = VALUE_THROWS_AT + 16;                   // 80
inline constexpr int VALUE_FEATURES = VALUE_HAMMER_AT + 1;                     // 81

// The end scores a model predicts, -8..+8 for the side to throw: index
// score + 8.
inline constexpr int VALUE_MAX_SCORE = 8;
inline constexpr int VALUE_SCORES = 2 * VALUE_MAX_SCORE + 1;

// Writes the VALUE_FEATURES values of s, which has a throw to come
// (1 <= s.getTurn() <= 16), to out. Allocates nothing.
void valueFeatures(const CurlingGameState& s, float* out);
