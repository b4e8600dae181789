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
#include <functional>
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
  EloEstimate estimate;           // per game (trinomial), as before pairs were counted
  // Per pair (games 2p+1 and 2p+2): the figures the summary gives and the
  // SPRT decides on. A last game whose partner was not counted (an odd
  // number of games, a series stopped between the two) is left out of them.
  PairEloEstimate pairEstimate;
  std::vector<EloEstimate> history;  // the estimate after each counted game
  std::array<int, 2> endsScored{};   // ends scored by A and B
  std::array<int, 2> points{};       // points of A and B over all games
  int forfeitedGames = 0;
  // The test on the pairs: its state when it decided, or at the end.
  std::optional<SprtResult> sprt;
  // The per-game test at the same point, for readers of the old "llr".
  std::optional<SprtResult> sprtGames;
  int sprtDecidedAfter = 0;  // games counted when the test decided; 0 if it did not
  std::string error;         // why the series stopped early, if it did
  bool interrupted = false;  // a signal stopped it before its planned end
};

// The folder of 0-based game `index` in the series folder: DIR/game-NNN.
std::string gameFolder(const std::string& seriesDir, int index);

// Plays 0-based game `index` of the series in folder `dir` (created if
// missing), whichever process or machine does it.
GameResult playSeriesGame(const SeriesConfig& config, int index, const std::string& dir);

class Series {
 public:
  // progress receives one line per game and the running estimate; nullptr
  // for silence.
  Series(SeriesConfig config, std::ostream* progress);

  // A resumed series: games played before, counted (in game order, with
  // their progress lines) as if they had just finished, never played again.
  void resumeFrom(const std::vector<GameResult>& played);
  // Called with every game that finished cleanly, as it finishes and before
  // it is counted: to keep it on disk.
  void onFinished(std::function<void(const GameResult&)> keep) { keep_ = std::move(keep); }
  // Called with the figures each time one or more games have been counted:
  // to show them while the series runs.
  void onCounted(std::function<void(const SeriesResult&)> show) { show_ = std::move(show); }

  // Plays the games still to play in this process, `concurrency` at a time.
  SeriesResult run();

  // For a driver that plays the games elsewhere (other processes); call
  // from one thread. Whether 0-based game `index` still has to be played.
  bool pending(int index) const { return !done_.at(index).has_value(); }
  // Takes a finished game and counts every finished game next in order.
  void finish(GameResult game);
  int counted() const { return counted_; }
  // The SPRT decided, a game could not be played or a signal asked for a
  // stop: start no new game.
  bool stopping() const;
  // The figures so far; interrupted when a signal stopped the series early.
  SeriesResult result() const;

 private:
  void count(const GameResult& game);
  void countReady();
  void say(const std::string& line);

  SeriesConfig config_;
  std::ostream* progress_;
  SeriesResult result_;
  std::function<void(const GameResult&)> keep_;
  std::function<void(const SeriesResult&)> show_;
  std::vector<std::optional<GameResult>> done_;  // finished games, by index
  int counted_ = 0;                              // games counted, a prefix of the game order
  bool stop_ = false;
};

// The closing lines for a person: counts, score, Elo, ends, forfeits, SPRT.
std::string seriesSummary(const SeriesConfig& config, const SeriesResult& result);

}  // namespace Kelp::Referee
