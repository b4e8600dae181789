// The handlers that frame a game and answer for the player: ISREADY prepares
// a game and answers "READYOK", GO asks the default player for a shot and
// answers "BESTSHOT vx vy spin", GAMEOVER ends the game.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kelpsimulator/field.h"
#include "player/ai.h"

namespace Kelp {

// The process-wide player that answers GO: Pebble_original, 4600 ms per
// shot, exploration 0.25. Created on first use.
std::shared_ptr<Pebble_original>& DefaultPlayer();

// The player ISREADY names the game log after and GO asks for shots: the
// DefaultPlayer unless an entry point has put another one here before the
// command loop starts.
std::shared_ptr<BaseAI<ThinkResult>>& ActivePlayer();

bool isReadyCommand(const std::vector<std::string>& tokens, ClientField& field);
bool goCommand(const std::vector<std::string>& tokens, ClientField& field);
bool gameOverCommand(const std::vector<std::string>& tokens, ClientField& field);

// "BESTSHOT %f %f %d".
std::string formatBestShot(double vx, double vy, int spin);

}  // namespace Kelp
