// The random playout shared by both searches.
#include "kelpsimulator/check.h"
#include "player/MonteCarlo.h"

CurlingGameState Playout(CurlingGameState s, Kelp::DsfmtEngine e) {
  for (;;) {
    s.checkTurn();
    if (s.IsFinalState()) return s;
    // One uniform draw over getCandidates' list, and only the chosen
    // candidate's shot is computed.
    const CandidatePicker candidates(s);
    const int n = candidates.count();
    // The fixed patterns always apply, so this holds for every position.
    KELP_CHECK(n > 0);
    const int i = static_cast<int>((e.closeOpen12() - 1.0) * n);
    s.executeShot(candidates.shot(i), e);
  }
}
