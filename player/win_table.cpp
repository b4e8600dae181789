#include "player/win_table.h"

#include <algorithm>

#include "kelpsimulator/check.h"
#include "player/end_distribution.h"

namespace {

constexpr int LEADS = 2 * WinTable::MAX_LEAD + 1;

int clampLead(int lead) {
  return std::clamp(lead, -WinTable::MAX_LEAD, WinTable::MAX_LEAD);
}

}  // namespace

double& WinTable::at(int lead, int endsLeft, bool hammer) {
  return table_[(static_cast<size_t>(endsLeft) * 2 + hammer) * LEADS + (lead + MAX_LEAD)];
}

WinTable::WinTable(const EndScoreDistribution& hammerSide)
    : table_(static_cast<size_t>(MAX_ENDS + 1) * 2 * LEADS) {
  double total = 0.0;
  for (double p : hammerSide) {
    KELP_CHECK(p >= 0.0);
    total += p;
  }
  KELP_CHECK(total > 0.0);
  for (int lead = -MAX_LEAD; lead <= MAX_LEAD; ++lead) {
    const double over = lead > 0 ? 1.0 : lead == 0 ? 0.5 : 0.0;
    at(lead, 0, false) = over;
    at(lead, 0, true) = over;
  }
  for (int n = 1; n <= MAX_ENDS; ++n) {
    for (int lead = -MAX_LEAD; lead <= MAX_LEAD; ++lead) {
      for (bool hammer : {false, true}) {
        double w = 0.0;
        for (int k = -MAX_END_POINTS; k <= MAX_END_POINTS; ++k) {
          const double p = hammerSide[k + MAX_END_POINTS] / total;
          if (p == 0.0) continue;
          // k is the hammer side's score; ours is k with the hammer, -k without.
          w += p * afterEnd(lead, hammer ? k : -k, hammer, n - 1);
        }
        at(lead, n, hammer) = w;
      }
    }
  }
}

double WinTable::win(int lead, int endsLeft, bool hammer) const {
  KELP_CHECK(endsLeft >= 0);
  const int n = std::min(endsLeft, MAX_ENDS);
  return table_[(static_cast<size_t>(n) * 2 + hammer) * LEADS + (clampLead(lead) + MAX_LEAD)];
}

double WinTable::afterEnd(int lead, int points, bool hadHammer, int endsAfter) const {
  // Whoever scores throws first next: the hammer goes to the side that did
  // not score; a blank end leaves it where it was.
  const bool hammerNext = points > 0 ? false : points < 0 ? true : hadHammer;
  return win(lead + points, endsAfter, hammerNext);
}

const WinTable& measuredWinTable() {
  static const WinTable table(MEASURED_END_SCORES);
  return table;
}
