// The series' files, each with its one list of fields, read and written
// here only: settings.json (what a series needs to be played again or
// continued), the game line (a line of games.jsonl, and each entry of
// series.json's `games`), and series.json (every game and the final
// figures). The MPI ranks send each other the same texts.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "referee/series.h"

namespace Kelp::Referee {

inline constexpr const char* SETTINGS_FILE = "settings.json";
inline constexpr const char* JOURNAL_FILE = "games.jsonl";
inline constexpr const char* SERIES_FILE = "series.json";

// settings.json, with the folder the series was started in (its relative
// engine paths were given from there).
nlohmann::json settingsJson(const SeriesConfig& config);
// The series those settings describe; nothing, with a reason, when they are
// not usable. Relative program paths are taken from the folder the series
// was started in when that is not the current one.
std::optional<SeriesConfig> settingsFromJson(const nlohmann::json& settings, std::string& why);

// One game as games.jsonl and series.json hold it, and back; nothing when
// the JSON is not a game line.
nlohmann::json gameJson(const GameResult& game);
std::optional<GameResult> gameFromJson(const nlohmann::json& line);

// series.json: the configuration, every game and the final figures.
nlohmann::json seriesJson(const SeriesConfig& config, const SeriesResult& result);

}  // namespace Kelp::Referee
