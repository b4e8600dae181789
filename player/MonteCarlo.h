// The two Monte-Carlo searches over the search tree (player/tree.h): the UCT
// search (UCTAlgorithm) and the flat one (Primitive). Both run inside one worker
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
  // UCT: when not 0, a Search runs exactly this many iterations and never
  // reads the clock (time_limit is then unused), so that a seeded search
  // gives the same tree on any machine under any load. 0, as kelp runs it:
  // the time limit. The primitive search ignores it.
  uint32_t iterations = 0;
};

// UCT search of Pebble_original. The template parameters of the original
// design select nothing; one plain class serves.
class UCTAlgorithm {
 public:
  SearchParameters params;

  // Searches from position s for params.time_limit ms (or params.iterations
  // iterations), growing the tree below root; returns root with the
  // statistics of the search. The engine is seeded from the calendar time;
  // the seeded form exists for reproducible runs.
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
