// The curling instances the search is generic over: CurlingGameState, a think
// board seen as a node of the game, and CurlingMoveState (player/move.h), one
// candidate shot. Also the shot patterns that produce the candidates of a
// position, appended as nodes of the search tree (player/tree.h).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "kelpsimulator/field.h"
#include "kelpsimulator/random.h"
#include "kelpsimulator/shot.h"
#include "kelpsimulator/thinkboard.h"
#include "player/move.h"
#include "player/tree.h"

// A think board used as a node of the game: copying a state copies the board.
class CurlingGameState : public Kelp::ThinkBoard {
 public:
  CurlingGameState() = default;
  explicit CurlingGameState(const Kelp::ThinkBoard& board) : Kelp::ThinkBoard(board) {}
  explicit CurlingGameState(const Kelp::ClientField& field) : Kelp::ThinkBoard(field) {}

  // The end's last stone has been thrown.
  bool IsFinalState() const { return getTurn() == Kelp::TURN_LAST; }
  // Stops the program unless 0 <= getTurn() <= 16.
  void checkTurn() const;

  // Appends the candidate moves of this position (callers pass an empty list).
  void getCandidates(std::vector<Tree>& out) const;

  // Throws the shot with random execution error drawn from engine and
  // advances by one throw. Returns the ShotOutcome 0, 1 or 2.
  int executeShot(const Kelp::ShotVector& shot, Kelp::DsfmtEngine& engine);
  int executeShot(const CurlingMoveState& move, Kelp::DsfmtEngine& engine) {
    return executeShot(move.shot(), engine);
  }

  // The end score of final seen from the side to throw in first: countScore
  // (BLACK positive) when first's turn is even, its negation when odd.
  static int reward(const CurlingGameState& first, const CurlingGameState& final);
};

// ---- Shot patterns ----

// The ten generators, by their index in the pattern lists.
enum PatternIndex : int {
  FREE_GUARD = 0,
  GUARD = 1,
  COME_AROUND = 2,
  FREEZE = 3,
  STRONG = 4,
  WEAK = 5,
  TEE = 6,
  HOUSE = 7,
  BLUESIDE = 8,
  WHITESIDE = 9,
};

// A generator appends its candidates for the state; stones is the state's
// getStonePositions, read once per getCandidates.
using PatternGenerator = void (*)(const CurlingGameState& state, const Kelp::StonePositions& stones,
                                  std::vector<Tree>& out);

// The generator of an index 0..9.
PatternGenerator patternGenerator(PatternIndex index);

// The generators of list 0..12 in order; any other index gives an empty list.
std::span<const PatternIndex> getPatternList(int list);

// Runs the generators of one pattern list in order. An empty list prints
// "Failed GetFunctions"; a generator that fails with std::out_of_range is
// abandoned with "Failed Get List Name :" (what it appended stays); no
// candidate at all prints "error".
void appendCandidates(const CurlingGameState& state, int list, std::vector<Tree>& out);

// The list getCandidates uses: 12 during the first four throws (turn >= 13),
// 0 afterwards.
inline int patternListForTurn(int turn) {
  return 16 - turn < 4 ? 12 : 0;
}

// The candidates of a position as getCandidates lists them, without making
// them: their count, known from the stones alone, and the shot of any one of
// them by its index in the list, computed on demand. A random playout needs
// one candidate per throw, not the list.
class CandidatePicker {
 public:
  explicit CandidatePicker(const CurlingGameState& state);   // getCandidates' list
  CandidatePicker(const CurlingGameState& state, int list);  // a pattern list 0..12

  int count() const { return count_; }
  // Exactly the shot of the list's candidate i, 0 <= i < count().
  Kelp::ShotVector shot(int i) const;

 private:
  Kelp::StonePositions stones_;
  std::span<const PatternIndex> generators_;
  std::array<int, 10> counts_{};      // candidates per generator, in list order
  std::array<uint32_t, 16> taken_{};  // per stone: the generators that aim at it, by index bit
  int count_ = 0;
};
