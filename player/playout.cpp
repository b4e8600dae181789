// The random playout shared by both searches.
#include "kelpsimulator/check.h"
#include "player/MonteCarlo.h"

CurlingGameState Playout(CurlingGameState s, std::vector<Tree>& scratch, Kelp::DsfmtEngine e) {
  for (;;) {
    s.checkTurn();
    if (s.IsFinalState()) return s;
    s.getCandidates(scratch);
    const int n = static_cast<int>(scratch.size());
    // The fixed patterns always apply, so this holds for every position.
    KELP_CHECK(n > 0);
    const int i = static_cast<int>((e.closeOpen12() - 1.0) * n);
    s.executeShot(scratch[i].move.move_state, e);
    scratch.clear();  // keeps the capacity: warm playouts allocate no nodes
  }
}
