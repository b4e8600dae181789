#include "referee/series.h"

#include <fmt/format.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "referee/game_slots.h"
#include "referee/stop.h"

namespace Kelp::Referee {
namespace {

// SplitMix64's finaliser: neighbouring pairs get unrelated seeds.
uint64_t mix(uint64_t z) {
  z += 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

const char* resultName(int result) {
  return result > 0 ? "win" : result < 0 ? "loss" : "draw";
}

}  // namespace

uint32_t pairSeed(uint32_t seriesSeed, int game) {
  return static_cast<uint32_t>(mix((uint64_t{seriesSeed} << 32) | static_cast<uint32_t>(game / 2)));
}

std::string gameFolder(const std::string& seriesDir, int index) {
  return fmt::format("{}/game-{:03}", seriesDir, index + 1);
}

Series::Series(SeriesConfig config, std::ostream* progress)
    : config_(std::move(config)), progress_(progress), done_(config_.games) {
  KELP_CHECK(config_.games >= 1 && config_.concurrency >= 1);
}

void Series::say(const std::string& line) {
  if (progress_) *progress_ << line << '\n' << std::flush;
}

GameResult playSeriesGame(const SeriesConfig& config, int index, const std::string& dir) {
  GameResult g;
  g.number = index + 1;
  g.seed = pairSeed(config.seed, index);
  g.aFirst = index % 2 == 0;
  // The second game of a pair hands the first engine's role to B.
  const auto seriesSide = [&](int role) { return g.aFirst ? role : 1 - role; };

  MatchConfig m = config.match;
  m.seed = g.seed;
  m.outDir = dir;
  if (!g.aFirst) {
    std::swap(m.commands[0], m.commands[1]);
    m.names = {fmt::format("B, {}", config.match.names[1]),
               fmt::format("A, {}", config.match.names[0])};
  }
  std::error_code ec;
  std::filesystem::create_directories(m.outDir, ec);
  // The game's shot-by-shot lines, as a single match prints them.
  std::ofstream log(m.outDir + "/match.log");
  Match match(m, log ? &log : nullptr);
  const MatchResult r = match.run();
  g.interrupted = r.interrupted;
  if (!r.error.empty()) g.error = r.error;
  if (g.interrupted || !g.error.empty()) return g;
  for (const EndScore& e : r.ends) {
    g.ends.push_back({e.side < 0 ? -1 : seriesSide(e.side), e.points});
  }
  for (int role = 0; role < 2; ++role) g.total[seriesSide(role)] = r.total[role];
  for (const Fault& f : r.faults) ++g.faults[seriesSide(f.side)];
  // An engine at fault in a game loses it, whatever the stones said.
  if (g.faults[SIDE_A] > 0 && g.faults[SIDE_B] > 0) {
    g.forfeit = FORFEIT_BOTH;
    g.result = 0;
  } else if (g.faults[SIDE_A] > 0) {
    g.forfeit = SIDE_A;
    g.result = -1;
  } else if (g.faults[SIDE_B] > 0) {
    g.forfeit = SIDE_B;
    g.result = 1;
  } else {
    g.result = g.total[SIDE_A] > g.total[SIDE_B] ? 1 : g.total[SIDE_A] < g.total[SIDE_B] ? -1 : 0;
  }
  return g;
}

void Series::count(const GameResult& g) {
  MatchCounts c = result_.estimate.counts;
  (g.result > 0 ? c.wins : g.result < 0 ? c.losses : c.draws) += 1;
  result_.estimate = estimateElo(c);
  result_.history.push_back(result_.estimate);
  for (const EndScore& e : g.ends) {
    if (e.side >= 0) ++result_.endsScored[e.side];
  }
  for (int s = 0; s < 2; ++s) result_.points[s] += g.total[s];
  if (g.forfeit != FORFEIT_NONE) ++result_.forfeitedGames;
  result_.games.push_back(g);
  const int n = static_cast<int>(result_.games.size());
  // Counted in game order: the second game of a pair closes the pair.
  if (n % 2 == 0) {
    PairCounts pairs = result_.pairEstimate.counts;
    pairs.add(result_.games[n - 2].result, g.result);
    result_.pairEstimate = estimatePairElo(pairs);
  }

  std::string ends;
  for (const EndScore& e : g.ends) {
    ends += e.side < 0 ? std::string(" -") : fmt::format(" {}{}", SIDE_NAME[e.side], e.points);
  }
  std::string forfeit;
  if (g.forfeit == FORFEIT_BOTH) {
    forfeit = fmt::format("  both engines at fault (A {}, B {}): draw", g.faults[0], g.faults[1]);
  } else if (g.forfeit != FORFEIT_NONE) {
    forfeit = fmt::format("  forfeited by {} ({} fault{})", SIDE_NAME[g.forfeit],
                          g.faults[g.forfeit], g.faults[g.forfeit] == 1 ? "" : "s");
  }
  say(fmt::format("game {:3}/{}  seed {:10}  {} first  ends{}  A {} - {} B  {:4}  (+{} ={} -{}){}",
                  g.number, config_.games, g.seed, g.aFirst ? "A" : "B", ends, g.total[0],
                  g.total[1], resultName(g.result), c.wins, c.draws, c.losses, forfeit));
  if (config_.estimateEvery > 0 && n % config_.estimateEvery == 0 && n < config_.games) {
    say("  " +
        (n % 2 == 0 ? describePairElo(result_.pairEstimate) : describeElo(result_.estimate)));
  }
  if (config_.sprt && result_.sprtDecidedAfter == 0) {
    result_.sprt = sprtPairs(result_.pairEstimate.counts, *config_.sprt);
    result_.sprtGames = sprt(c, *config_.sprt);
    if (result_.sprt->decision != SprtDecision::Continue) {
      result_.sprtDecidedAfter = n;
      say("  " + describeSprt(*result_.sprt, *config_.sprt) + fmt::format(" after {} games", n));
    }
  }
}

void Series::resumeFrom(const std::vector<GameResult>& played) {
  for (const GameResult& g : played) {
    KELP_CHECK(g.number >= 1 && g.number <= config_.games && g.error.empty());
    done_[g.number - 1] = g;
  }
  countReady();
}

void Series::finish(GameResult game) {
  const int index = game.number - 1;
  KELP_CHECK(index >= 0 && index < config_.games && !done_[index]);
  // An interrupted game is not kept: a resumed series plays it again.
  if (game.error.empty() && !game.interrupted && keep_) keep_(game);
  done_[index] = std::move(game);
  countReady();
}

void Series::countReady() {
  const int before = counted_;
  while (counted_ < config_.games && done_[counted_]) {
    const GameResult& ready = *done_[counted_];
    if (ready.interrupted) {
      // Games after it that did finish are not counted either: the
      // figures come from a prefix of the game order.
      stop_ = true;
      break;
    }
    if (!ready.error.empty()) {
      if (result_.error.empty())
        result_.error = fmt::format("game {}: {}", ready.number, ready.error);
      stop_ = true;
      break;
    }
    count(ready);
    ++counted_;
    if (result_.sprtDecidedAfter > 0) stop_ = true;
  }
  if (counted_ > before && show_) show_(result_);
}

SeriesResult Series::run() {
  int next = 0;  // the next game to start, unless it was played before
  const auto skipPlayed = [&] {
    while (next < config_.games && done_[next]) ++next;
  };
  int toPlay = 0;
  for (const auto& d : done_) toPlay += !d;
  if (toPlay == 0) return result();

  // Finished games are counted here, in order, as they come back. A game
  // starts only while it is fewer than `concurrency` games past the oldest
  // uncounted one: a slow game holds the others back rather than letting
  // free slots run ahead. So when the test decides after game n, every game
  // started is among the n + concurrency - 1 first, however the games'
  // durations fall; with one slot nothing past n.
  GameSlots slots(config_, std::min(config_.concurrency, toPlay),
                  [&](int index) { return gameFolder(config_.match.outDir, index); });
  for (;;) {
    if (stopping()) {
      // A stop starts no new game; the running ones end early (a signal)
      // or play out (a decision, an error) and are still counted.
      slots.stop();
    } else {
      for (skipPlayed(); next < config_.games && next < counted_ + config_.concurrency;
           skipPlayed()) {
        slots.add(next++);
      }
    }
    for (GameResult& g : slots.takeFinished()) finish(std::move(g));
    if (slots.idle()) {
      skipPlayed();
      if (stopping() || next >= config_.games) break;
      continue;
    }
    // A stop asked by a signal is noticed within this wait.
    slots.waitForFinished(std::chrono::milliseconds(50));
  }
  return result();
}

bool Series::stopping() const {
  return stop_ || stopRequested();
}

SeriesResult Series::result() const {
  SeriesResult r = result_;
  r.interrupted =
      stopRequested() && counted_ < config_.games && r.sprtDecidedAfter == 0 && r.error.empty();
  return r;
}

std::string seriesSummary(const SeriesConfig& config, const SeriesResult& r) {
  const EloEstimate& e = r.estimate;
  std::string s;
  s += fmt::format("games: {} of {} played; A wins {}, draws {}, losses {}\n", r.games.size(),
                   config.games, e.counts.wins, e.counts.draws, e.counts.losses);
  if (e.score) s += fmt::format("score of A: {:.3f}\n", *e.score);
  // The pairs are the figure: the games of a pair share their luck.
  s += describePairElo(r.pairEstimate) + "\n";
  const size_t unpaired = r.games.size() - 2 * static_cast<size_t>(r.pairEstimate.pairs());
  if (unpaired > 0)
    s += fmt::format("(game {} has no partner: left out of the pairs)\n", r.games.size());
  s += "per game, ignoring the pairs: " + describeElo(e) + "\n";
  s += fmt::format("ends scored: A {}, B {} (points A {}, B {})\n", r.endsScored[0],
                   r.endsScored[1], r.points[0], r.points[1]);
  int byA = 0, byB = 0, both = 0;
  for (const GameResult& g : r.games) {
    byA += g.forfeit == SIDE_A;
    byB += g.forfeit == SIDE_B;
    both += g.forfeit == FORFEIT_BOTH;
  }
  s += fmt::format("forfeited games (an engine at fault): {} (by A {}, by B {}, both {})\n",
                   r.forfeitedGames, byA, byB, both);
  if (config.sprt) {
    if (r.sprtDecidedAfter > 0) {
      s += fmt::format("SPRT: {} accepted after {} games ({})\n",
                       r.sprt->decision == SprtDecision::AcceptH1 ? "H1" : "H0", r.sprtDecidedAfter,
                       describeSprt(*r.sprt, *config.sprt));
    } else {
      const SprtResult t = sprtPairs(r.pairEstimate.counts, *config.sprt);
      s += fmt::format("SPRT: no decision after {} games ({})\n", r.games.size(),
                       describeSprt(t, *config.sprt));
    }
  }
  if (!r.error.empty()) s += "series stopped: " + r.error + "\n";
  if (r.interrupted) {
    s += fmt::format("series interrupted: {} of {} games counted\n", r.games.size(), config.games);
  }
  return s;
}

}  // namespace Kelp::Referee
