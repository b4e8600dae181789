// A series that survives its machines. Its folder holds everything needed to
// continue it: settings.json (engine commands, game settings, seed, SPRT),
// written when the series starts, and games.jsonl, one line per finished
// game appended as the game finishes, after its folder is complete. A series
// cut short (a killed job, a lost node) continues from there with the same
// seeds; only the games that were running are played again.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "referee/series.h"
#include "referee/series_files.h"

namespace Kelp::Referee {

// Starts a new series in config.match.outDir: writes settings.json and an
// empty games.jsonl. False, with a reason, when it cannot.
bool startSeriesFolder(const SeriesConfig& config, std::string& why);

// games.jsonl, appended to as games finish. Each line goes out in one write
// and is synced to disk, so a killed referee leaves whole lines (at worst a
// cut last line, which a resume skips).
class GameJournal {
 public:
  explicit GameJournal(const std::string& seriesDir);
  ~GameJournal();
  GameJournal(const GameJournal&) = delete;
  GameJournal& operator=(const GameJournal&) = delete;
  bool append(const GameResult& game);

 private:
  int fd_ = -1;
};

struct ResumedSeries {
  SeriesConfig config;
  std::vector<GameResult> played;  // the games games.jsonl holds
  std::string error;               // the folder holds no series that can go on
};

// Reads a series folder to continue it: its settings and finished games.
// Game folders that games.jsonl does not list (games that were running when
// the series stopped) are removed, to be played again.
ResumedSeries resumeSeries(const std::string& dir);

}  // namespace Kelp::Referee
