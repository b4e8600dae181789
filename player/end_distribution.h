// The end-score distribution of the side holding the last stone, counted
// in kelp-strong's own play; the win-chance table is built from it.
// Written by scripts/win-table; do not edit by hand. Made with:
//   scripts/win-table --games 40 --ends 8 --samples 500 --seed 1
// Played by kelp-strong valuing samples by points (8b75f9f), 40 games of 8 ends, no pictures.
// 320 ends; counts from -8 (eight stolen) to +8.
#pragma once

#include "player/win_table.h"

inline constexpr EndScoreDistribution MEASURED_END_SCORES = {
    0.0,  // -8
    0.0,  // -7
    0.0,  // -6
    3.0,  // -5
    8.0,  // -4
    12.0,  // -3
    25.0,  // -2
    69.0,  // -1
    0.0,  // +0
    96.0,  // +1
    49.0,  // +2
    29.0,  // +3
    12.0,  // +4
    11.0,  // +5
    4.0,  // +6
    2.0,  // +7
    0.0,  // +8
};
