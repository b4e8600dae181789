// The Python module's board: the sixteen stones of an end by the slot they
// were thrown from, the shot number, the end and the match state, and the
// think board the simulator and the engines work on. Everything a caller
// passes is checked here, before any of it reaches the library, whose
// invariant checks would stop the interpreter.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "kelpsimulator/field.h"
#include "kelpsimulator/shot.h"
#include "kelpsimulator/thinkboard.h"

namespace KelpPy {

inline constexpr int SLOTS = 16;
inline constexpr int DEFAULT_ENDS = 10;

// Bad input from Python: raised as ValueError by the module.
struct BadInput {
  std::string what;
};

struct Board {
  // Board frame by slot (slot k is shot k of the end, BLACK the even
  // slots); a slot outside the play area is not in play.
  double xy[SLOTS][2] = {};
  int shot = 0;             // stones thrown in the end, 0..16
  int end = 0;              // 0-based
  int ends = DEFAULT_ENDS;  // ends in the match (the SETSTATE bound)
  int score_diff = 0;       // match score so far: the end's first thrower minus the other
  Kelp::ThinkBoard think;

  bool inPlay(int k) const { return Kelp::isInPlayArea(xy[k][0], xy[k][1]); }
  // The end's score as the stones lie: positive for BLACK, the first thrower.
  int score() const { return think.countScore(); }
  // The record the protocol driver would hold for this board (the server's
  // frame, single precision), for the engines.
  Kelp::ClientField record() const;
};

// Where a stone not in play is put: the server's (0, 0), in the board frame.
inline constexpr double OUT_X = Kelp::toBoardX(0.0f);
inline constexpr double OUT_Y = Kelp::toBoardY(0.0f);

// Server frame (as POSITION and BESTSHOT give them) <-> board frame.
inline void serverToBoard(double sx, double sy, double& bx, double& by) {
  bx = Kelp::toBoardX(static_cast<float>(sx));
  by = Kelp::toBoardY(static_cast<float>(sy));
}
inline float serverX(double bx) {
  return static_cast<float>(bx + Kelp::RECORD_TEE_X);
}
inline float serverY(double by) {
  return static_cast<float>(static_cast<double>(Kelp::RECORD_TEE_Y) - by);
}

// Builds a board from board-frame stones, with the checks every Python
// argument gets: finite coordinates on or near the sheet, no two stones in
// play on top of each other, shot 0..16, end and ends in range, no more
// stones in play than the shot number allows. Throws BadInput.
Board makeBoard(const double (&xy)[SLOTS][2], int shot, int end, int ends, int score_diff);

// The board after a throw on before's think board: the stones rebuilt by
// colour in the simulator's order (BLACK in the even slots), shot + 1.
void boardAfter(const Board& before, const Kelp::ThinkBoard& think, Board& out);

// A shot from Python: finite, spin 0 or 1, a speed no faster than a stone
// can be thrown. Throws BadInput. board is the frame it is given in.
Kelp::ShotVector checkShot(double vx, double vy, long spin, bool serverFrame);

}  // namespace KelpPy
