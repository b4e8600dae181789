// Shared helpers of the player tests: the trajectory tables (every shot
// vector reads them) and positions built as the shared test boards are.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "player/MonteCarlo.h"
#include "player/curling.h"
#include "support/boards.h"
#include "support/tables.h"

inline CurlingGameState position(int turn, const std::vector<Kelp::At>& stones) {
  return CurlingGameState(Kelp::boardWith(turn, stones));
}

// A root whose children are the candidate shots of s.
inline Tree rootOf(const CurlingGameState& s) {
  Tree root;
  s.getCandidates(root.children);
  return root;
}

inline std::vector<Tree> candidates(const CurlingGameState& s) {
  return rootOf(s).children;
}

inline void addMove(Kelp::Digest& d, const CurlingMoveState& m) {
  for (double v : {m.x, m.y, m.vx, m.vy}) d.add(v);
  d.add(int64_t{m.spin});
  d.add(m.label);
}

// Statistics and moves of the whole tree, depth first in child order.
inline void addTree(Kelp::Digest& d, const Tree& t) {
  addMove(d, t.move.move_state);
  const UCTState& s = t.move.uct_state;
  for (uint32_t n : {s.visits, s.playouts}) d.add(int64_t{n});
  for (double v : {s.sum, s.mean}) d.add(v);
  d.add(static_cast<int64_t>(t.children.size()));
  for (const Tree& c : t.children) addTree(d, c);
}

inline uint64_t treeDigest(const Tree& t) {
  Kelp::Digest d;
  addTree(d, t);
  return d.value();
}
