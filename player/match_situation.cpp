#include "player/match_situation.h"

#include <algorithm>

MatchSituation matchSituation(const Kelp::ClientField& field) {
  MatchSituation m;
  const int end = std::clamp(field.end, 0, 16);
  const bool weThrowFirst = field.shot % 2 == 0;
  m.hammer = !weThrowFirst;
  m.endsAfter = std::max(0, field.last_end - field.end - 1);
  // The last end that somebody scored decides who throws first now: its
  // scorer, through any blank ends since.
  for (int e = end - 1; e >= 0; --e) {
    const bool player0Scored = field.end_score[e][0] > 0;
    if (!player0Scored && field.end_score[e][1] <= 0) continue;
    const bool weArePlayer0 = player0Scored == weThrowFirst;
    m.lead = weArePlayer0 ? field.rel_score : -field.rel_score;
    return m;
  }
  // Nobody has scored: the match is level.
  return m;
}
