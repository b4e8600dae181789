// The UCT search: open-loop Monte-Carlo tree search under a time limit (or,
// for experiments, a fixed number of iterations). The tree stores no
// positions; every iteration executes the shots of its path again from the
// root position. The execution error is not fresh per iteration: every
// iteration starts from the engine exactly as seeded, so its draws depend
// only on the path it takes.
#include <chrono>
#include <cmath>
#include <thread>

#include "kelpsimulator/check.h"
#include "player/MonteCarlo.h"

Tree UCTAlgorithm::Search(CurlingGameState s, Tree root) const {
  return SearchSeeded(std::move(s), std::move(root), Kelp::timeSeed());
}

Tree UCTAlgorithm::SearchSeeded(CurlingGameState s, Tree root, uint32_t seed) const {
  const Kelp::DsfmtEngine engine(seed);
  std::vector<Tree> scratch;  // playouts leave it empty: nothing to reserve
  if (params.iterations != 0) {
    for (uint32_t i = 0; i < params.iterations; ++i) Iterate(s, root, scratch, engine);
    return root;
  }
  const int64_t limit = params.time_limit;
  const auto start = std::chrono::steady_clock::now();
  while (limit - elapsedMs(start) > 0) {
    // Every iteration starts from the engine exactly as seeded: Iterate takes
    // its own copy, and the seeded engine is never drawn from.
    Iterate(s, root, scratch, engine);
    std::this_thread::yield();
  }
  return root;
}

double UCTAlgorithm::Iterate(CurlingGameState s, Tree& p, std::vector<Tree>& scratch,
                             Kelp::DsfmtEngine e) const {
  KELP_CHECK(!p.children.empty());
  // Scores: UCB1 for visited children; unvisited ones get a random score of
  // at least 1000 (but for draws within 1000 of 2^32), far above any visited
  // score, so they are tried first, in random order.
  const double lnN = std::log(static_cast<double>(p.move.uct_state.playouts));
  for (Tree& c : p.children) {
    UCTState& st = c.move.uct_state;
    if (st.visits > 0) {
      st.ucb = std::sqrt((lnN * 2.0) / st.visits) * params.exploration + st.mean;
    } else {
      const uint32_t r = e.next32();
      st.ucb = static_cast<double>(static_cast<uint32_t>(r + 1000u));
    }
  }
  // The first child with the largest score.
  Tree* chosen = &p.children.front();
  for (Tree& c : p.children) {
    if (c.move.uct_state.ucb > chosen->move.uct_state.ucb) chosen = &c;
  }
  Tree& c = *chosen;
  UCTState& st = c.move.uct_state;

  CurlingGameState next = s;
  next.executeShot(c.move.move_state, e);
  next.checkTurn();
  double v = 0.0;
  if (next.getTurn() == Kelp::TURN_LAST) {
    // The shot ended the end: it is evaluated at once and never expanded.
    v = CurlingGameState::reward(s, next);
    st.playouts += 1;
  } else if (st.visits >= params.expand_threshold) {
    if (c.children.empty()) next.getCandidates(c.children);
    v = Iterate(next, c, scratch, e);  // already negated by the deeper level
  } else {
    const CurlingGameState next_game_state = Playout(next, scratch, e);
    KELP_CHECK_TEXT(next_game_state.IsFinalState(), "next_game_state.IsFinalState()");
    v = CurlingGameState::reward(s, next_game_state);
    st.playouts += 1;
  }
  st.visits += 1;
  st.sum += v;
  st.mean = st.sum / st.visits;
  p.move.uct_state.playouts += 1;
  return -v;
}
