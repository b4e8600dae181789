// The flat Monte-Carlo search: every pass throws each root child once from
// the root position and finishes the end with a random playout.
#include <chrono>

#include "player/MonteCarlo.h"

Tree Primitive::Search(CurlingGameState s, Tree root) const {
  return SearchSeeded(std::move(s), std::move(root), Kelp::timeSeed());
}

Tree Primitive::SearchSeeded(CurlingGameState s, Tree root, uint32_t seed) const {
  Kelp::DsfmtEngine engine(seed);
  const int64_t limit = params.time_limit;
  const auto start = std::chrono::steady_clock::now();
  if (limit - elapsedMs(start) <= 0) return root;
  for (;;) {
    for (Tree& c : root.children) {
      CurlingGameState next = s;
      next.executeShot(c.move.move_state, engine);  // the search's own engine advances
      next.checkTurn();
      // The playout draws from a copy: the next throw of the search repeats
      // the playout's first draws.
      if (!next.IsFinalState()) next = Playout(next, engine);
      const double v = CurlingGameState::reward(s, next);
      UCTState& st = c.move.uct_state;
      st.sum = st.visits * st.mean + v;
      st.visits += 1;
      st.mean = st.sum / st.visits;
      st.playouts += 1;
      root.move.uct_state.playouts += 1;
      if (elapsedMs(start) > limit) break;
    }
    if (!(limit - elapsedMs(start) > 0)) return root;
  }
}
