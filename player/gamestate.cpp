// The game-state questions the search asks of a think board.
#include "kelpsimulator/check.h"
#include "player/curling.h"

void CurlingGameState::checkTurn() const {
  KELP_CHECK_TEXT(getTurn() <= 16 && getTurn() >= 0, "getTurn() <= 16 && getTurn() >= 0");
}

int CurlingGameState::executeShot(const Kelp::ShotVector& shot, Kelp::DsfmtEngine& engine) {
  return Kelp::executeShot(*this, shot, engine);
}

int CurlingGameState::reward(const CurlingGameState& first, const CurlingGameState& final) {
  final.checkTurn();
  // Only this end counts: neither the match score nor the ends left enter it.
  const int s = final.countScore();
  return first.getTurn() % 2 == 0 ? s : -s;
}
