// The search tree: a node owns its children, one per candidate shot, and
// every edge carries the running statistics of the results seen after it.
// Both searches use it; nodes hold no game state.
#pragma once

#include <cstdint>
#include <vector>

#include "player/move.h"

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
