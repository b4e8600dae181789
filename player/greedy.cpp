// The one-ply reference player on the exact model.
#include "player/greedy.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "kelpsimulator/check.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/simulator.h"

CurlingGameState exactThrow(const CurlingGameState& s, const Kelp::ShotVector& shot, double dt) {
  CurlingGameState out = s;
  const int col = s.getTurn() % 2;
  Kelp::ExactSimulator sim;
  sim.loadStone(0.0, Kelp::THROW_Y, shot.vx, shot.vy,
                shot.spin == 0 ? Kelp::CURL_SPIN : -Kelp::CURL_SPIN, static_cast<uint32_t>(col),
                true);
  for (int c = Kelp::BLACK; c <= Kelp::WHITE; ++c) {
    for (int i = 0; i < s.count[c]; ++i) {
      const Kelp::Stone& st = s.stones[c][i];
      sim.loadStone(st.x, st.y, 0.0, 0.0, 0.0, s.state[c][i], false);
    }
  }
  sim.runExact(dt);
  // The run ends with stones still moving only when a protected guard left
  // play: the throw is void and the board stays as it was.
  if (sim.moving > 0) {
    out.afterShot(Kelp::SHOT_UNCHANGED);
    return out;
  }
  out.in_house[0] = out.in_house[1] = 0;
  out.count[0] = out.count[1] = 0;
  for (int i = 0; i < sim.size(); ++i) {
    const b2Vec2 p = sim.position(i);
    const double x = p.x;
    const double y = p.y;
    if (Kelp::isInPlayArea(x, y)) {
      out.setStone(static_cast<int>(sim.tagOf(i) & Kelp::STONE_COLOR_BIT), x, y);
    }
  }
  out.afterShot(Kelp::SHOT_REBUILT);
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
