// The one-ply reference player on the exact model.
#include "player/greedy.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "kelpsimulator/check.h"
#include "kelpsimulator/exact.h"

CurlingGameState exactThrow(const CurlingGameState& s, const Kelp::ShotVector& shot, double dt) {
  CurlingGameState out = s;
  // A protected guard that leaves play voids the throw: the board stays as it was.
  out.afterShot(Kelp::throwExact(out, shot, dt) ? Kelp::SHOT_REBUILT : Kelp::SHOT_UNCHANGED);
  return out;
}

GreedyPlayer::GreedyPlayer(int threads_) : BaseAI("Kelp_greedy"), threads(threads_) {}

bool GreedyPlayer::Init() {
  game_state.clear();
  return true;
}

ThinkResult GreedyPlayer::Think(CurlingGameState state) {
  game_state = state;
  std::vector<Tree> nodes;
  game_state.getCandidates(nodes);
  KELP_CHECK(!nodes.empty());
  const size_t n = nodes.size();
  std::vector<int> score(n);
  // Candidates are dealt round-robin to the threads; each writes only its
  // own entries.
  const size_t t = static_cast<size_t>(std::clamp(threads, 1, static_cast<int>(n)));
  {
    std::vector<std::jthread> running;
    for (size_t k = 0; k < t; ++k) {
      running.emplace_back([&, k] {
        for (size_t i = k; i < n; i += t) {
          const CurlingGameState after = exactThrow(game_state, nodes[i].move.move_state.shot());
          score[i] = CurlingGameState::reward(game_state, after);
        }
      });
    }
  }
  const size_t best =
      static_cast<size_t>(std::max_element(score.begin(), score.end()) - score.begin());
  Move chosen = nodes[best].move;
  chosen.uct_state.visits = 1;
  chosen.uct_state.playouts = 1;
  chosen.uct_state.sum = score[best];
  chosen.uct_state.mean = score[best];
  chosen.move_state.vy = -chosen.move_state.vy;  // board frame -> record frame
  return ThinkResult{chosen, static_cast<int>(n), static_cast<int>(n)};
}
