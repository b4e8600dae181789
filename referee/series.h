// A match series: many games between engine A and engine B, to tell whether
// one is stronger. Games come in pairs that share a seed, the engines' order
// of play swapped in the second game of a pair (B then takes the first
// engine's role and throws first), so that the luck of the execution error
// and the first-throw advantage cancel out within a pair. Several games may
// run at once; results are counted in game order, so the figures and an
// SPRT stop do not depend on which game happened to finish first.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "referee/match.h"
#include "referee/stats.h"

namespace Kelp::Referee {

struct SeriesConfig {
  // Engines, ends, timeouts and pictures of every game; outDir is the
  // series folder, each game playing in outDir/game-NNN. The seed and the
  // order of the commands are set per game.
  MatchConfig match;
  int games = 2;
  int concurrency = 1;  // games played at the same time
  uint32_t seed = 0;    // the series seed, from which the pairs' seeds come
  std::optional<SprtSettings> sprt;
  int estimateEvery = 10;  // print the Elo estimate after every this many games
};

// The seed of the pair holding 0-based game `game`: games 2p and 2p+1 share it.
uint32_t pairSeed(uint32_t seriesSeed, int game);

inline constexpr int FORFEIT_NONE = -1;
inline constexpr int FORFEIT_BOTH = 2;

// One game, seen from the series' engine A whatever its order of play.
struct GameResult {
  int number = 0;  // 1-based
  uint32_t seed = 0;
  bool aFirst = true;           // A held the first engine's role (threw first in end 0)
  std::vector<EndScore> ends;   // scoring side as SIDE_A / SIDE_B of the series
  std::array<int, 2> total{};   // points of A and B
  int result = 0;               // for A: +1 win, 0 draw, -1 loss
  int forfeit = FORFEIT_NONE;   // SIDE_A, SIDE_B, FORFEIT_BOTH or FORFEIT_NONE
  std::array<int, 2> faults{};  // engine faults of A and B in this game
  std::string error;            // the game could not be played (the referee's own trouble)
  bool interrupted = false;     // stopped by a signal before its end: not counted
};

struct SeriesResult {
  std::vector<GameResult> games;  // in game order, every game that was counted
  EloEstimate estimate;
  std::vector<EloEstimate> history;  // the estimate after each counted game
  std::array<int, 2> endsScored{};   // ends scored by A and B
  std::array<int, 2> points{};       // points of A and B over all games
  int forfeitedGames = 0;
  std::optional<SprtResult> sprt;  // the test's state when it decided, or at the end
  int sprtDecidedAfter = 0;        // games counted when the test decided; 0 if it did not
  std::string error;               // why the series stopped early, if it did
  bool interrupted = false;        // a signal stopped it before its planned end
};

class Series {
 public:
  // progress receives one line per game and the running estimate; nullptr
  // for silence.
  Series(SeriesConfig config, std::ostream* progress);
  SeriesResult run();

 private:
  GameResult playGame(int index) const;
  void count(const GameResult& game);
  void say(const std::string& line);

  SeriesConfig config_;
  std::ostream* progress_;
  SeriesResult result_;
};

// series.json: the configuration, every game and the final figures.
nlohmann::json seriesJson(const SeriesConfig& config, const SeriesResult& result);
// The closing lines for a person: counts, score, Elo, ends, forfeits, SPRT.
std::string seriesSummary(const SeriesConfig& config, const SeriesResult& result);

}  // namespace Kelp::Referee
