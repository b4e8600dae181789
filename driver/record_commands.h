// Handlers of the messages that keep the game record up to date: NEWGAME,
// POSITION, SETSTATE, SCORE, TOTALSCORE and ShowAll. All return true.
//
// A handler either applies a whole message or none of it: every number is
// converted and every value checked before the record is touched. A message
// the record cannot take (wrong word count, a word that is no number, a
// colour other than 0/1, a score for an end outside 0..15) is reported with
// one diagnostic line on std::cout and leaves the record as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kelpsimulator/field.h"

namespace Kelp {

// Number words convert as strtol (base 10) and strtof do: leading white
// space skipped, the longest valid prefix taken, the rest ignored. Empty when
// there are no digits or the value is out of range (ERANGE, or beyond int32).
std::optional<int32_t> toInt(const std::string& token);
std::optional<float> toFloat(const std::string& token);

// A word as one diagnostic field: bytes that would break the line (the
// newline glued to a last word) or the terminal are shown as \xNN.
std::string printable(const std::string& token);

bool newGameCommand(const std::vector<std::string>& tokens, ClientField& field);
bool positionCommand(const std::vector<std::string>& tokens, ClientField& field);
bool setStateCommand(const std::vector<std::string>& tokens, ClientField& field);
bool scoreCommand(const std::vector<std::string>& tokens, ClientField& field);
bool totalScoreCommand(const std::vector<std::string>& tokens, ClientField& field);
bool showAllCommand(const std::vector<std::string>& tokens, ClientField& field);

}  // namespace Kelp
