// Where the side to throw stands in the match, read from the game record:
// its lead, whether it holds the last stone of this end, and how many ends
// follow. The record keeps the scores by the server's sign (player 0 is
// the side reported positive) and never says which player we are; the
// rules of play say it: the side that scores throws first in the next end,
// a blank end keeps the order, and the first thrower throws the even shots.
#pragma once

#include "kelpsimulator/field.h"

struct MatchSituation {
  int lead = 0;         // points ahead of the other side (negative: behind)
  bool hammer = false;  // we throw the last stone of this end
  int endsAfter = 0;    // ends still to play after this one (0: this is the last)
};

// For a record that makes a valid think board (shot and end in range).
MatchSituation matchSituation(const Kelp::ClientField& field);
