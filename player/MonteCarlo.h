// The search tree and the two Monte-Carlo searches over it: the UCT search
// (UCTAlgorithm) and the flat one (Primitive). Both run inside one worker
// task for a fixed time; four run at once and are merged by the AI players.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "kelpsimulator/random.h"
#include "player/curling.h"

// Whole milliseconds since start on the steady clock, truncated toward zero:
// the clock both searches test their time limit against.
inline int64_t elapsedMs(std::chrono::steady_clock::time_point start) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now() - start);
  return ns.count() / 1000000;
}

// Running statistics of one edge of the tree.
struct UCTState {
  uint32_t visits = 0;    // results recorded for this edge
  uint32_t playouts = 0;  // results recorded at this node or below: N for its children
  double sum = 0.0;       // sum of the results, seen from the side that chooses this move
  double mean = 0.0;      // sum / visits; 0 while visits is 0
  double ucb = 0.0;       // selection score of the last pass over this edge (scratch)
};

// A candidate shot with its statistics.
struct Move {
  CurlingMoveState move_state;
  UCTState uct_state;
};

// A search-tree node: it owns its children, in the order in which
// getCandidates appended them. Nodes hold no game state.
class Tree {
 public:
  std::vector<Tree> children;  // empty until the node is expanded
  Move move;                   // the shot from the parent; all zero at the root

  Tree() = default;  // a root: no children, zeroed move and statistics
  // A child made in place by a shot pattern; its statistics start at zero.
  Tree(float x, float y, const char* label, bool spin, int kind)
      : move{CurlingMoveState(x, y, label, spin, kind), UCTState{}} {}
  Tree(const ShotAim& aim, const char* label, bool spin)
      : move{CurlingMoveState(aim, label, spin), UCTState{}} {}
  explicit Tree(const CurlingMoveState& m) : move{m, UCTState{}} {}

  Tree(const Tree&) = default;             // deep copy
  Tree& operator=(const Tree&) = default;  // deep copy
  // The children are handed over (the source is left with none); the move
  // is copied.
  Tree(Tree&& other) noexcept;
  Tree& operator=(Tree&& other) noexcept;
  ~Tree() = default;
};

// By a temporary and two move assignments.
void swap(Tree& a, Tree& b) noexcept;

// Finishes the end from s by uniformly random candidate shots, each thrown
// with execution error from e (which advances across the steps). Each step
// draws over the count of candidates and computes only the chosen one, so
// nothing is allocated; scratch is left untouched (callers keep one per
// worker).
CurlingGameState Playout(CurlingGameState s, std::vector<Tree>& scratch, Kelp::DsfmtEngine e);

// Capacity of a worker's scratch vector of playout candidates.
inline constexpr size_t SCRATCH_CAPACITY = 250;

// The parameter block of a search. Held by value inside a player and only read
// while its workers search, so the four workers share it without locking.
struct SearchParameters {
  int32_t time_limit = 0;         // milliseconds that one Search runs
  uint32_t expand_threshold = 1;  // UCT: a child with at least this many visits is descended
                                  // into (and expanded); the primitive search ignores it
  double exploration = 0.25;      // UCT: constant C of the selection formula; the primitive
                                  // search ignores it
};

// UCT search of Pebble_original. The template parameters of the original
// design select nothing; one plain class serves.
class UCTAlgorithm {
 public:
  SearchParameters params;

  // Searches from position s for params.time_limit ms, growing the tree below
  // root; returns root with the statistics of the search. The engine is seeded
  // from the calendar time; the seeded form exists for reproducible runs.
  Tree Search(CurlingGameState s, Tree root) const;
  Tree SearchSeeded(CurlingGameState s, Tree root, uint32_t seed) const;

  // One descent from node p at position s; returns the negation of the value
  // it recorded on the chosen edge.
  double Iterate(CurlingGameState s, Tree& p, std::vector<Tree>& scratch,
                 Kelp::DsfmtEngine e) const;

  CurlingGameState Playout(CurlingGameState s, std::vector<Tree>& scratch,
                           Kelp::DsfmtEngine e) const {
    return ::Playout(s, scratch, e);
  }
};

// Flat Monte-Carlo search of PrimitiveR: it sweeps the root's children again
// and again, one playout each, and never grows the tree.
class Primitive {
 public:
  SearchParameters params;

  Tree Search(CurlingGameState s, Tree root) const;
  Tree SearchSeeded(CurlingGameState s, Tree root, uint32_t seed) const;
};
