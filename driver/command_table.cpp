#include "driver/command_table.h"

#include "driver/record_commands.h"

namespace Kelp {

// One line per command. Names are exact and case-sensitive.
const CommandTable COMMAND_TABLE = {
    {"NEWGAME", newGameCommand}, {"POSITION", positionCommand},     {"SETSTATE", setStateCommand},
    {"SCORE", scoreCommand},     {"TOTALSCORE", totalScoreCommand}, {"ShowAll", showAllCommand},
};

}  // namespace Kelp
