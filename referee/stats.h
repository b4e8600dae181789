// Playing-strength statistics for a match series between engine A and
// engine B: the Elo difference with a 95 % interval, and a sequential
// probability ratio test (SPRT) that tells when enough games have been
// played to decide between two Elo hypotheses.
//
// All results are seen from engine A: a win is a game A won.
//
// Elo model (logistic): an Elo difference e gives the expected score
//   s(e) = 1 / (1 + 10^(-e / 400)),   and back   e(s) = -400 * log10(1/s - 1).
//
// Interval: the normal approximation of the mean per-game score. With the
// score fraction s = (W + D/2) / N and the per-game score variance
//   var = (W (1 - s)^2 + D (1/2 - s)^2 + L (0 - s)^2) / N,
// the standard error of s is se = sqrt(var / N) and the 95 % interval of the
// score is s -/+ 1.959964 se, mapped to Elo through e(s). e(s) is increasing,
// so the low score bound gives the low Elo bound.
//
// Pairs: the games of a series come in pairs with one seed and the order of
// play swapped, so the two results of a pair are correlated (the same luck of
// the execution error, each side once with the first throw). The unit of the
// pair statistics is the pair: its score for A, 0, 1/2, 1, 3/2 or 2 points,
// halved to x in {0, 1/4, 1/2, 3/4, 1} (the pentanomial). With P pairs, n_k
// of them with x = k/4, the mean m = sum n_k x_k / P, the variance
// var = sum n_k (x_k - m)^2 / P, and the standard error se = sqrt(var / P);
// the interval then uses m, var and P where the per-game one uses s, var and
// N. Pairs whose two games go the same way widen it against the per-game
// one, pairs that split narrow it. The pairs' SPRT is a likelihood ratio of
// the five outcomes (sprtPairs).
//
// No NaN or infinity ever leaves this module: a value without a finite Elo is
// an empty std::optional, and its meaning is documented where it occurs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Kelp {

// Wins, draws and losses of engine A.
struct MatchCounts {
  std::int64_t wins = 0;
  std::int64_t draws = 0;
  std::int64_t losses = 0;

  std::int64_t games() const { return wins + draws + losses; }
};

// z of a two-sided 95 % normal interval.
inline constexpr double ELO_INTERVAL_Z = 1.959964;

// Expected score of the stronger side for an Elo difference, and its inverse.
// eloFromScore requires 0 < s < 1.
double scoreFromElo(double elo);
double eloFromScore(double score);

struct EloEstimate {
  MatchCounts counts;
  // Score fraction of A; empty when no game was played.
  std::optional<double> score;
  // Elo difference of A over B. Empty when no game was played (score empty)
  // or when one side won every game (score 0 or 1): the estimate is then
  // unbounded toward that side. (Counts in the quintillions can also round
  // the score onto 0 or 1; the estimate is then empty as well.)
  std::optional<double> elo;
  // 95 % interval. low empty: unbounded below; high empty: unbounded above.
  // Both are empty when every game had the same result (zero variance: the
  // normal interval collapses onto a point and says nothing) and when no game
  // was played.
  std::optional<double> low;
  std::optional<double> high;

  std::int64_t games() const { return counts.games(); }
  // A won every game (score 1) / B won every game (score 0): the estimate is
  // unbounded upward / downward.
  bool unboundedUp() const { return games() > 0 && counts.wins == games(); }
  bool unboundedDown() const { return games() > 0 && counts.losses == games(); }
  // Zero variance: no interval can be given.
  bool sameResultEveryGame() const {
    return games() > 0 &&
           (counts.wins == games() || counts.draws == games() || counts.losses == games());
  }
};

// Negative counts are a caller's bug (they come from counting games).
EloEstimate estimateElo(const MatchCounts& counts);

// The five outcomes of a pair: n[k] pairs in which A scored k/2 points
// (k = 0: lost both, 2: won one and lost one, or drew both, 4: won both).
struct PairCounts {
  std::array<std::int64_t, 5> n{};

  std::int64_t pairs() const { return n[0] + n[1] + n[2] + n[3] + n[4]; }
  // Adds the pair of two games' results for A (+1 win, 0 draw, -1 loss).
  void add(int first, int second);
};

struct PairEloEstimate {
  PairCounts counts;
  // A's mean score per game over the pairs (the mean pair score halved);
  // empty when no pair was played.
  std::optional<double> score;
  // As in EloEstimate, with the pair as the unit: elo empty when no pair was
  // played or A won (or lost) every game of every pair; low and high empty
  // when unbounded, and both when every pair had the same outcome.
  std::optional<double> elo;
  std::optional<double> low;
  std::optional<double> high;

  std::int64_t pairs() const { return counts.pairs(); }
  bool unboundedUp() const { return pairs() > 0 && counts.n[4] == pairs(); }
  bool unboundedDown() const { return pairs() > 0 && counts.n[0] == pairs(); }
  bool samePairEveryTime() const {
    for (std::int64_t k : counts.n) {
      if (pairs() > 0 && k == pairs()) return true;
    }
    return false;
  }
};

PairEloEstimate estimatePairElo(const PairCounts& counts);

// One line for a person, e.g.
//   "A vs B after 100 games (+60 =20 -20): Elo +147.2, 95 % interval +86.2 .. +218.3"
// with the unbounded cases put in words ("A won every game: no finite
// estimate", "unbounded above").
std::string describeElo(const EloEstimate& estimate, std::string_view nameA = "A",
                        std::string_view nameB = "B");
// The same with the pair as the unit, e.g.
//   "A vs B after 100 games in 50 pairs (pair scores 0 ½ 1 1½ 2: 2 5 18 15 10):
//    Elo +120.4, 95 % interval +62.0 .. +184.9"
std::string describePairElo(const PairEloEstimate& estimate, std::string_view nameA = "A",
                            std::string_view nameB = "B");

// SPRT between H0: Elo = elo0 and H1: Elo = elo1 (logistic Elo of A over B).
struct SprtSettings {
  double elo0 = 0.0;
  double elo1 = 5.0;
  double alpha = 0.05;  // chance of accepting H1 when H0 holds
  double beta = 0.05;   // chance of accepting H0 when H1 holds
};

// Empty when the settings are usable; otherwise the reason, for a command
// line to report (finite values, elo0 < elo1, 0 < alpha, 0 < beta,
// alpha + beta < 1 so that lower < 0 < upper).
std::optional<std::string> sprtSettingsError(const SprtSettings& settings);

enum class SprtDecision { Continue, AcceptH0, AcceptH1 };

struct SprtResult {
  double llr = 0.0;    // log-likelihood ratio of H1 against H0
  double lower = 0.0;  // ln(beta / (1 - alpha)): accept H0 at or below
  double upper = 0.0;  // ln((1 - beta) / alpha): accept H1 at or above
  SprtDecision decision = SprtDecision::Continue;
};

// The generalized SPRT approximation used by common engine-testing
// frameworks (trinomial counts, normal approximation of the score):
//   LLR = N/2 * (s1 - s0) * (2 s - s0 - s1) / var
// with s0 = scoreFromElo(elo0), s1 = scoreFromElo(elo1), s and var the score
// fraction and per-game score variance of the counts. With no game or zero
// variance (every game the same result) the LLR is 0 and the test goes on.
// The settings must pass sprtSettingsError.
SprtResult sprt(const MatchCounts& counts, const SprtSettings& settings);
// The same test with the pair as the unit, as engine-testing frameworks run
// it on paired games: the generalised log-likelihood ratio of the
// pentanomial,
//   LLR = sum_k n_k ln(p1_k / p0_k),
// p_j the distribution over the five halved pair scores x_k = k/4 that is
// most likely for the counts among those with mean s_j (the maximum
// likelihood under the hypothesis): p_k = q_k / (1 + theta (x_k - s_j)),
// q the observed shares with every empty outcome given 0.001 of a pair
// (so that a hypothesis outside the outcomes seen can still be weighed) and
// theta the root of sum_k q_k (x_k - s_j) / (1 + theta (x_k - s_j)) = 0.
// Unlike the normal approximation it needs no variance: pairs that all
// split (equal deterministic engines) or all go one way still decide.
SprtResult sprtPairs(const PairCounts& counts, const SprtSettings& settings);

std::string_view sprtDecisionName(SprtDecision decision);

// "SPRT H0 Elo 0.0 vs H1 Elo 5.0 (alpha 0.05, beta 0.05): LLR 1.73 in (-2.94, +2.94): continue"
std::string describeSprt(const SprtResult& result, const SprtSettings& settings);

}  // namespace Kelp
