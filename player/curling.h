// The curling instances the search is generic over: CurlingGameState, a think
// board seen as a node of the game, and CurlingMoveState, one candidate shot
// (target, shot vector, spin, pattern label). Also the shot patterns that
// produce the candidates of a position.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kelpsimulator/field.h"
#include "kelpsimulator/random.h"
#include "kelpsimulator/shot.h"
#include "kelpsimulator/thinkboard.h"

class Tree;  // player/MonteCarlo.h: a search-tree node, the unit candidates are appended as

// How a candidate's shot vector is derived from its target.
enum ShotKind : int {
  SHOT_DRAW = -1,       // the stone comes to rest on the target
  SHOT_HIT_SOFT = 0,    // passes over the target with 0.8 m of straight travel left
  SHOT_HIT_HARD = 1,    // passes over the target with 5.0 m of straight travel left
  SHOT_FULL_SPEED = 2,  // thrown at 33.0 m/s through the target
};

// The spin-independent part of the shot for a target and a kind. The two
// spins are mirror images, so both shots of a target share it: the heading
// for spin s is (phi - sigma * t) - sigma * turn with sigma = +1 for spin 0
// and -1 for spin 1, then (vx, vy) = v * (sin, cos) of it.
struct ShotAim {
  float x = 0.0f;  // target, board frame
  float y = 0.0f;
  double v = 0.0;     // launch speed (m/s)
  double phi = 0.0;   // bearing of the target from the release point, from +y toward +x
  double t = 0.0;     // curl correction of the bearing for spin 0
  double turn = 0.0;  // turn of the path's heading for spin 0
};

// Checks that the target lies in the play area (single precision) and
// computes its aim by table lookups only.
ShotAim aimFor(float x, float y, int kind);
// The shot of an aim for one spin (true: spin 1).
Kelp::ShotVector shotFor(const ShotAim& aim, bool spin);

// One candidate shot. A plain value; copies copy the label.
class CurlingMoveState {
 public:
  double x = 0.0;    // target, board frame (widened from the float arguments)
  double y = 0.0;    //
  double vx = 0.0;   // shot vector that sends the stone to the target (m/s)
  double vy = 0.0;   //
  int32_t spin = 0;  // 0 curls toward +x, 1 toward -x
  std::string
      label;  // pattern name, e.g. "FREEZE1"; short enough to stay in the string's own buffer

  CurlingMoveState() = default;
  // The target must lie in the play area (single precision). The shot vector
  // is computed here, once, by table lookups only.
  CurlingMoveState(float x_, float y_, const char* label_, bool spin_, int kind)
      : CurlingMoveState(aimFor(x_, y_, kind), label_, spin_) {}
  // The shot of an aim for one spin: the shot patterns make both spins of a
  // target from one aim.
  CurlingMoveState(const ShotAim& aim, const char* label_, bool spin_);

  Kelp::ShotVector shot() const { return Kelp::ShotVector{vx, vy, spin}; }
};

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

// Runs the generators of one pattern list (steps 2-4 of getCandidates:
// the "Failed GetFunctions", "Failed Get List Name :" and "error" reports).
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
