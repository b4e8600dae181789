// kelp-strong --bench: a fixed set of positions, each decided once by the
// configured player, with the chosen shots, their sample counts and a
// signature over both. Under a fixed budget and seed the signature depends
// on nothing but the player's play: a change of behaviour changes it, and a
// speed-up that keeps it has provably not changed play.
#pragma once

#include <cstdint>
#include <ostream>

#include "player/ai.h"

namespace Kelp {

struct BenchResult {
  uint64_t samples = 0;    // the decisions' counts, summed
  uint64_t signature = 0;  // FNV-1a over every decision's shot and counts
};

// The number of bench positions.
int benchPositions();

// Decides every bench position with player, one line each on out (number,
// name, the BESTSHOT reply, the label, the count and the chosen shot's own
// samples and mean), then the total and the signature.
BenchResult runBench(BaseAI<ThinkResult>& player, std::ostream& out);

}  // namespace Kelp
