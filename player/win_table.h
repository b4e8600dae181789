// The chance to win a match from a score difference, the ends left and who
// holds the last stone, derived from the distribution of one end's score.
// A search that values a sampled end by the win chance after it plays for
// the match: a safe single point when a single point wins, a risky three
// when only three will do.
#pragma once

#include <array>
#include <vector>

// The end score as seen by the side holding the last stone (the hammer):
// +k it scores k, -k the other side steals k, 0 a blank end.
inline constexpr int MAX_END_POINTS = 8;
using EndScoreDistribution = std::array<double, 2 * MAX_END_POINTS + 1>;  // index k + 8

class WinTable {
 public:
  static constexpr int MAX_ENDS = 10;
  // The largest lead the table holds; beyond it the match is decided
  // whatever is left to play (MAX_ENDS ends of at most MAX_END_POINTS).
  static constexpr int MAX_LEAD = MAX_ENDS * MAX_END_POINTS;

  // From the hammer side's end-score distribution (it need not be
  // normalised; it must not be all zero). The rules are the referee's:
  // the side that scores throws first in the next end (the other side gets
  // the hammer), a blank end keeps the hammer where it is, and a match
  // level after its last end is a draw, worth half a win; no extra ends.
  explicit WinTable(const EndScoreDistribution& hammerSide);

  // The chance that "we" win, leading by `lead` points (negative: behind),
  // with `endsLeft` ends still to play (0: the match is over), holding the
  // hammer in the next end or not. A lead beyond MAX_LEAD counts as
  // MAX_LEAD; endsLeft above MAX_ENDS as MAX_ENDS.
  double win(int lead, int endsLeft, bool hammer) const;

  // The win chance after an end that "we" scored `points` in (negative:
  // the other side scored), played with or without the hammer, with
  // `endsAfter` ends still to play after it.
  double afterEnd(int lead, int points, bool hadHammer, int endsAfter) const;

 private:
  std::vector<double> table_;  // [endsLeft][hammer][lead + MAX_LEAD]
  double& at(int lead, int endsLeft, bool hammer);
};

// The table of the end scores measured in kelp-strong's own play
// (end_distribution.h), built on first use.
const WinTable& measuredWinTable();
