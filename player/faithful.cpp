// The faithful search with an optional seed: the seed reaches the workers
// through a stand-in block whose Search is the seeded one.
#include "player/faithful.h"

#include "player/strong.h"

namespace {

// What ParallelSearch calls on each worker: the UCT search from one seed.
struct SeededUct {
  const UCTAlgorithm& uct;
  uint32_t seed;
  Tree Search(CurlingGameState s, Tree root) const {
    return uct.SearchSeeded(std::move(s), std::move(root), seed);
  }
};

}  // namespace

FaithfulPlayer::FaithfulPlayer(SearchParameters params, std::optional<uint32_t> seed)
    : BaseAI("Pebble_original"), uct_{params}, seed_(seed) {}

bool FaithfulPlayer::Init() {
  game_state.clear();
  return true;
}

ThinkResult FaithfulPlayer::Think(CurlingGameState state) {
  game_state = state;
  if (!seed_) return thinkWith(uct_, game_state, &Pebble_original::choose);
  const SeededUct block{uct_, decisionSeed(*seed_, game_state)};
  return thinkWith(block, game_state, &Pebble_original::choose);
}
