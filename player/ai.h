// The AI players the driver asks for a shot, and the parallel search they
// share: shuffle the root's children, run four searches at once on copies of
// the root, merge the four trees in launch order.
#pragma once

#include <cstdint>
#include <future>
#include <iostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "kelpsimulator/check.h"
#include "player/MonteCarlo.h"
#include "player/curling.h"

// The chosen move (its vy in the record frame), the root's playouts of all
// workers together (Count), and the number of candidates (Size).
using ThinkResult = std::tuple<Move, int, int>;

template <class Result>
class BaseAI {
 public:
  explicit BaseAI(std::string name_) : name(std::move(name_)) {}

  // Clears the stored position (an empty board at the start of an end).
  virtual bool Init() = 0;
  // Chooses a shot for the position.
  virtual Result Think(CurlingGameState state) = 0;

  std::string getName() const { return name; }

 protected:
  // Players are created as shared pointers to their own class and destroyed
  // as such; a protected destructor keeps anyone from deleting one through a
  // BaseAI pointer, which would skip the derived destructor.
  ~BaseAI() = default;

  std::string name;
};

// UCT player. Both players are final: they are destroyed as their own class
// (BaseAI has no virtual destructor), so nothing may derive from them.
class Pebble_original final : public BaseAI<ThinkResult> {
 public:
  CurlingGameState game_state;  // the position last given to Think
  UCTAlgorithm uct;

  // expand_threshold is always 1.
  Pebble_original(int time_limit, double exploration);
  bool Init() override;
  ThinkResult Think(CurlingGameState state) override;
  // The child thrown after the search: the first with the most visits.
  static const Tree& choose(const Tree& merged);
};

// Flat Monte-Carlo player.
class PrimitiveR final : public BaseAI<ThinkResult> {
 public:
  CurlingGameState game_state;  // the position last given to Think
  Primitive primitive;

  // unused is kept where the UCT block keeps its expansion threshold and
  // exploration where it keeps its constant; the primitive search reads
  // neither.
  PrimitiveR(int unused, int time_limit, double exploration);
  bool Init() override;
  ThinkResult Think(CurlingGameState state) override;
  // The child thrown after the search: the first with the largest mean.
  static const Tree& choose(const Tree& merged);
};

// ---- Parallel search ----

inline constexpr int WORKER_COUNT = 4;

// An index j in 0..i from 32-bit draws: r mod (i + 1), drawing again while r
// falls in the incomplete last block, unless 2^32 - 1 mod (i + 1) = i (then
// every block is complete).
template <class Gen>
uint32_t shuffleDraw(Gen& gen, uint32_t i) {
  const uint32_t bound = i + 1;
  uint32_t r = static_cast<uint32_t>(gen());
  if (0xFFFFFFFFu % bound != i) {
    while (r / bound >= 0xFFFFFFFFu / bound) r = static_cast<uint32_t>(gen());
  }
  return r % bound;
}

// For i = 1 .. n-1 swaps element i with element shuffleDraw(gen, i).
template <class Gen>
void shuffleChildren(std::vector<Tree>& children, Gen& gen) {
  for (size_t i = 1; i < children.size(); ++i) {
    const uint32_t j = shuffleDraw(gen, static_cast<uint32_t>(i));
    swap(children[i], children[j]);
  }
}

// Shuffles with a Mersenne Twister freshly made with its default seed, so a
// given candidate list always comes out in the same order.
inline void shuffleChildren(std::vector<Tree>& children) {
  std::mt19937 mt;
  shuffleChildren(children, mt);
}

// Adds from into into: visits, playouts and sum; mean = sum / visits in single
// precision (when visits is not 0).
void addStatistics(UCTState& into, const UCTState& from);

// Adds a worker's root and root children into root, pairing children by
// index; a label mismatch prints "equal error" and is added all the same.
void mergeWorker(Tree& root, const Tree& worker);

// Shuffles root's children in place, runs block.Search on four tasks, each
// with a copy of the position and a deep copy of the root, and merges their
// trees into root in launch order. Returns the merged root. Block is
// UCTAlgorithm or Primitive; it is shared with the workers, read-only.
template <class Block>
Tree ParallelSearch(const Block& block, const CurlingGameState& state, Tree& root) {
  shuffleChildren(root.children);
  std::future<Tree> workers[WORKER_COUNT];
  try {
    for (auto& w : workers) w = std::async(&Block::Search, &block, state, root);
  } catch (const std::future_error& e) {
    std::cout << "value:" << e.code().value() << std::endl;
    std::cout << "what:" << e.what() << std::endl;
  }
  for (auto& w : workers) {
    // A task that was never launched has no result to take: without its
    // worker the search cannot go on.
    KELP_CHECK_TEXT(w.valid(), "every search worker was launched");
    const Tree worker = w.get();
    mergeWorker(root, worker);
  }
  return std::move(root);
}

// Think's road once the player is known: the candidate shots of the position
// as the root's children, searched in parallel with block, the child that
// choose picks, its vy turned into the record frame, the workers' summed
// count and the number of candidates.
template <class Block>
ThinkResult thinkWith(const Block& block, const CurlingGameState& state,
                      const Tree& (*choose)(const Tree&)) {
  Tree root;
  state.getCandidates(root.children);
  const Tree merged = ParallelSearch(block, state, root);
  Move chosen = choose(merged).move;
  chosen.move_state.vy = -chosen.move_state.vy;  // board frame -> record frame
  return ThinkResult{chosen, static_cast<int>(merged.move.uct_state.playouts),
                     static_cast<int>(merged.children.size())};
}
