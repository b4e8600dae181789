// The two AI players: both shuffle the candidate shots, search them on four
// workers and merge; they differ in the search and in how the best child is
// chosen.
#include "player/ai.h"

#include "kelpsimulator/check.h"

void addStatistics(UCTState& into, const UCTState& from) {
  into.visits += from.visits;
  into.playouts += from.playouts;
  into.sum += from.sum;
  if (into.visits != 0) {
    into.mean = static_cast<double>(static_cast<float>(into.sum) / static_cast<float>(into.visits));
  }
}

void mergeWorker(Tree& root, const Tree& worker) {
  if (worker.move.move_state.label != root.move.move_state.label) std::cout << "equal error";
  addStatistics(root.move.uct_state, worker.move.uct_state);
  // Every worker began from a copy of the same shuffled root and never
  // reorders children, so children pair by index.
  KELP_CHECK(worker.children.size() == root.children.size());
  for (size_t i = 0; i < worker.children.size(); ++i) {
    const Move& from = worker.children[i].move;
    Move& into = root.children[i].move;
    if (from.move_state.label != into.move_state.label) std::cout << "equal error";
    addStatistics(into.uct_state, from.uct_state);
  }
}

namespace {

// The first child for which better(child, choice so far) never held.
template <class Better>
const Tree& firstBest(const Tree& merged, Better better) {
  KELP_CHECK(!merged.children.empty());
  const Tree* best = &merged.children.front();
  for (const Tree& c : merged.children) {
    if (better(c.move.uct_state, best->move.uct_state)) best = &c;
  }
  return *best;
}

}  // namespace

Pebble_original::Pebble_original(int time_limit, double exploration)
    : BaseAI("Pebble_original"), uct{SearchParameters{time_limit, 1, exploration}} {}

bool Pebble_original::Init() {
  game_state.clear();
  return true;
}

ThinkResult Pebble_original::Think(CurlingGameState state) {
  game_state = state;
  return thinkWith(uct, game_state, &Pebble_original::choose);
}

const Tree& Pebble_original::choose(const Tree& merged) {
  return firstBest(merged,
                   [](const UCTState& a, const UCTState& b) { return a.visits > b.visits; });
}

PrimitiveR::PrimitiveR(int unused, int time_limit, double exploration)
    : BaseAI("PrimitiveR"),
      primitive{SearchParameters{time_limit, static_cast<uint32_t>(unused), exploration}} {}

bool PrimitiveR::Init() {
  game_state.clear();
  return true;
}

ThinkResult PrimitiveR::Think(CurlingGameState state) {
  game_state = state;
  return thinkWith(primitive, game_state, &PrimitiveR::choose);
}

const Tree& PrimitiveR::choose(const Tree& merged) {
  return firstBest(merged, [](const UCTState& a, const UCTState& b) { return a.mean > b.mean; });
}
