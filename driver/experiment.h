// The self-play experiment: two player configurations play games against
// each other on one board without a server; per-shot, per-game and aggregate
// results go to standard output and to shot.txt, result.txt and
// aggregate.txt in the working directory. After it the program ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "kelpsimulator/field.h"
#include "player/ai.h"

namespace Kelp {

struct ExperimentSlot {
  std::shared_ptr<BaseAI<ThinkResult>> player;
  std::string name;
};

// Who throws first in an end. After a scored end (either side, a steal
// included) the other slot throws first; after a blank end nothing changes.
struct EndOrder {
  int first = 0;  // slot index of the end's first thrower
  int sign = 1;   // +1 while slot 0 throws first: turns board scores into slot 0's view
  // The board scores for its first thrower (BLACK positive); the tables keep
  // slot 0's view.
  int slotZeroScore(int boardScore) const { return boardScore * sign; }
  void afterEnd(int slotZeroView) {
    if (slotZeroView != 0) {
      first = 1 - first;
      sign = -sign;
    }
  }
};

struct ExperimentTotals {
  int32_t wins[2] = {0, 0};
  int32_t draws = 0;
};

struct ExperimentOutputs {
  std::ostream& console;
  std::ostream& shots;
  std::ostream& results;
};

// Plays `games` games of `ends` ends between the two slots. Each game seeds
// the engine with seedForGame(). Returns the totals; writes per-shot lines
// and one result line per game: one end score per end, at least ten (zeros
// for ends not played), each followed by a comma. Every entry is summed.
ExperimentTotals playExperiment(int games, int ends, const ExperimentSlot slots[2],
                                const ExperimentOutputs& out, uint32_t (*seedForGame)());

// Where a Run works and with whom: the handler runs in the working
// directory with the two built-in slots; tests give a folder of their own
// and cheap players.
struct ExperimentSetup {
  std::filesystem::path folder;  // where shot.txt, result.txt and aggregate.txt go
  std::ostream& console;
  std::function<void(ExperimentSlot slots[2])> makeSlots;
  uint32_t (*seedForGame)();
};

// The "Run" handler: games and ends from the message (none: 1 game of 10
// ends; one number: that many games of 10 ends; two: games and ends; more:
// nothing at all). A result file that cannot be created is reported in one
// line, and no game is played. Always returns false, which ends the program.
bool RunExperiment(const std::vector<std::string>& tokens, ClientField& field);
bool runExperiment(const std::vector<std::string>& tokens, const ExperimentSetup& setup);

// The two slots of the experiment: "improve" (PrimitiveR) and "original"
// (Pebble_original), each thinking time_limit_ms per shot.
void makeExperimentSlots(ExperimentSlot slots[2], int time_limit_ms);

}  // namespace Kelp
