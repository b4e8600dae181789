#include "driver/game_commands.h"

#include <fmt/core.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>

#include "driver/gamelog.h"
#include "driver/io.h"
#include "kelpsimulator/thinkboard.h"
#include "player/curling.h"

namespace Kelp {

std::shared_ptr<Pebble_original>& DefaultPlayer() {
  static std::shared_ptr<Pebble_original> player = std::make_shared<Pebble_original>(4600, 0.25);
  return player;
}

std::shared_ptr<BaseAI<ThinkResult>>& ActivePlayer() {
  static std::shared_ptr<BaseAI<ThinkResult>> player = DefaultPlayer();
  return player;
}

std::string formatBestShot(double vx, double vy, int spin) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "BESTSHOT %f %f %d", vx, vy, spin);
  return buffer;
}

bool isReadyCommand(const std::vector<std::string>&, ClientField& field) {
  try {
    OpenGameLog(ActivePlayer()->getName());
  } catch (const std::exception& e) {
    // Without a log the game can still be played: say so and go on.
    std::cerr << "ISREADY: no game log: " << e.what() << std::endl;
  }
  fmt::print("Count : Size : ShontNumber : Type : playout_sum : Rate : win : playout ");
  field.clearCounters();
  return writeReply("READYOK");
}

bool goCommand(const std::vector<std::string>&, ClientField& field) {
  const ClientField copy = field;
  std::string problem;
  const std::optional<ThinkBoard> board = ThinkBoard::fromRecord(copy, &problem);
  if (!board) {
    // The server must never be left waiting: answer with the draw to the tee.
    const CurlingMoveState tee(0.0f, 0.0f, "TEE2", false, SHOT_DRAW);
    std::cout << "GO: cannot think on this record: " << problem << "; answering TEE2" << std::endl;
    return writeReply(formatBestShot(tee.vx, -tee.vy, tee.spin));
  }
  const ThinkResult result = ActivePlayer()->Think(CurlingGameState(*board));
  const Move& move = std::get<0>(result);
  std::cout << ',' << std::get<1>(result) << ',' << std::get<2>(result) << ',' << copy.shot << ','
            << move.move_state.label << ',' << move.uct_state.mean << ',' << move.uct_state.sum
            << ',' << move.uct_state.playouts << std::endl;
  return writeReply(formatBestShot(move.move_state.vx, move.move_state.vy, move.move_state.spin));
}

bool gameOverCommand(const std::vector<std::string>&, ClientField& field) {
  field.clearCounters();
  CloseGameLog();
  return true;
}

}  // namespace Kelp
