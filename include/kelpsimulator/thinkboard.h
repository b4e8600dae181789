// The search's fixed-size picture of one end in progress: stones in play per
// colour in the board frame, sorted by distance from the tee, per-stone state
// bits for the free guard zone rule, throws left, and the score the end would
// give now. A plain value with no heap members: the search copies it for
// every tree iteration and every playout.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "kelpsimulator/field.h"
#include "kelpsimulator/primitive.h"

namespace Kelp {

struct Stone {
  double x = 0.0;   // board frame
  double y = 0.0;   // board frame
  double r = 0.0;   // distance from the tee, hypot(x, y)
  double th = 0.0;  // bearing from the tee, atan2(y, x)
};

// Stone state bits.
inline constexpr uint32_t STONE_COLOR_BIT = 1;  // the stone's colour
inline constexpr uint32_t STONE_IN_FGZ = 4;  // lies in the free guard zone (kept while turn >= 12)
inline constexpr uint32_t STONE_PROTECTED = 8;  // guard protected by the free guard zone rule

// Every stone in play as float pairs, BLACK stones first, each colour in list
// order. Fixed capacity: building it allocates nothing.
struct StonePositions {
  std::array<std::array<float, 2>, 16> xy{};
  int size = 0;
  const std::array<float, 2>* begin() const { return xy.data(); }
  const std::array<float, 2>* end() const { return xy.data() + size; }
};

class ThinkBoard {
 public:
  int32_t ends_left;      // ends still to play after this one (last_end - end - 1)
  int32_t turn;           // throws left in the end, 16..0
  int32_t score_diff;     // the record's rel_score at construction
  int32_t end_score_now;  // countScore() of the current stones: + BLACK, - WHITE
  Stone stones[2][8];     // per colour, first count[col] entries sorted by r ascending
  int32_t in_house[2];    // per colour, stones with r < IN_HOUSE_RADIUS (the first ones)
  int32_t count[2];       // per colour, stones in play
  uint32_t state[2][8];   // state bits, parallel to stones
  int32_t last_index;     // list index of the stone inserted last by putStone; -1 after clear
  double front_y;         // smallest y among the stones as last computed; 999.0 after clear

  ThinkBoard();
  // Builds the board from a record; broken invariants stop the program.
  explicit ThinkBoard(const ClientField& field);

  // The checked road for data from outside (the server): returns the board,
  // or nothing with a one-line description of the first problem in *error.
  static std::optional<ThinkBoard> fromRecord(const ClientField& field, std::string* error);
  // The same road for stones given in the board frame by the slot they were
  // thrown from (slot k is shot k: BLACK the even slots), with turn throws
  // left, 0 (the end is over) to 16. Stones outside the play area are not in
  // play. Nothing, with the first problem in *error, when the stones cannot
  // lie so at that turn.
  static std::optional<ThinkBoard> fromStones(const double (&xy)[16][2], int turn,
                                              int32_t ends_left, int32_t score_diff,
                                              std::string* error);

  void clear();
  int getTurn() const { return turn; }

  // Sorted insertion without touching state (rebuilding after a collision).
  void setStone(int col, double x, double y);
  // The same for a stone whose r and th are already known: they must be
  // those of stoneAt(known.x, known.y), as for a stone taken from a board.
  void setStone(int col, const Stone& known);
  // Sorted insertion that moves state entries with their stones and sets
  // last_index (the thrown stone came to rest without contact).
  void putStone(int col, double x, double y);
  // Moves the board to the next throw; changed is the ShotOutcome 0, 1 or 2.
  void afterShot(int changed);
  int countScore() const;
  StonePositions getStonePositions() const;
  // A stone at (x, y) with its distance and bearing from the tee.
  static Stone stoneAt(double x, double y);

 private:
  void insertSorted(int col, Stone stone, bool moveState);  // by value: it may alias a list entry
  void finishRebuild();
};

// Consistency checks. ExamStoneNumber and ExamStoneState print the rule a
// board breaks as one line on standard error and return false;
// ExamFreeGuard returns false, printing nothing, when at turn 13 or above a
// stone outside the house lies beyond the play area.
bool ExamStoneNumber(int col, int turn, const ThinkBoard& board);
bool ExamStoneState(const ThinkBoard& board);
bool ExamFreeGuard(const ThinkBoard& board);
// Runs the three checks above as invariant checks: a board that fails one
// stops the program with the check's text, so Exam only ever returns true.
// changed (the afterShot argument, 3 at construction) is not used.
bool Exam(const ThinkBoard& board, int changed);

}  // namespace Kelp
