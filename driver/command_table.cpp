#include "driver/command_table.h"

#include "driver/experiment.h"
#include "driver/game_commands.h"
#include "driver/record_commands.h"

namespace Kelp {
namespace {

// "run" is the same experiment as "Run", found through the table.
bool runAlias(const std::vector<std::string>& tokens, ClientField& field) {
  return COMMAND_TABLE.at("Run")(tokens, field);
}

}  // namespace

// One line per command. Names are exact and case-sensitive.
const CommandTable COMMAND_TABLE = {
    {"ISREADY", isReadyCommand},
    {"NEWGAME", newGameCommand},
    {"GO", goCommand},
    {"GAMEOVER", gameOverCommand},
    {"POSITION", positionCommand},
    {"SETSTATE", setStateCommand},
    {"SCORE", scoreCommand},
    {"TOTALSCORE", totalScoreCommand},
    {"ShowAll", showAllCommand},
    {"Run", RunExperiment},
    {"run", runAlias},
};

}  // namespace Kelp
