// A throw through the exact model on a think board: the stones loaded,
// the model run at a given step, and where they rest written back. The fast
// simulator's hand-over, the one-throw reference player, the Python module's
// exact throws, the agreement check and the benchmarks all go through here,
// so that they load the throw and read the model's result back the same way.
#pragma once

#include "kelpsimulator/shot.h"
#include "kelpsimulator/simulator.h"
#include "kelpsimulator/thinkboard.h"

namespace Kelp {

// Runs a loaded model with step dt (s) and, unless a protected stone left
// play, writes the stones that rest in the play area onto board (the others
// are gone). Returns false on that foul, with board as it was.
bool settleExact(ExactSimulator& sim, ThinkBoard& board, double dt,
                 StepObserver* observer = nullptr);

// Loads a throw into a fresh model: the thrown stone of the side to throw on
// board at the release point with shot (board frame, execution error already
// added), its tag the side's colour bit | thrownTag (a caller's own bit, to
// tell the thrown stone apart afterwards), then the board's stones at rest.
void loadThrow(ExactSimulator& sim, const ThinkBoard& board, const ShotVector& shot,
               uint32_t thrownTag = 0);

// Throws shot (board frame, execution error already added) for the side to
// throw on board, from the release point, through the exact model with step
// dt (s). Returns false when a protected stone left play: board unchanged.
bool throwExact(ThinkBoard& board, const ShotVector& shot, double dt,
                StepObserver* observer = nullptr);

}  // namespace Kelp
