#include "referee/stats.h"

#include <fmt/format.h>

#include <cmath>

#include "kelpsimulator/check.h"

namespace Kelp {

namespace {

// Mean per-game score and its variance; the counts hold at least one game.
struct ScoreMoments {
  double mean;
  double variance;
};

ScoreMoments scoreMoments(const MatchCounts& c) {
  const double n = static_cast<double>(c.games());
  const double s = (static_cast<double>(c.wins) + 0.5 * static_cast<double>(c.draws)) / n;
  const double variance = (static_cast<double>(c.wins) * (1.0 - s) * (1.0 - s) +
                           static_cast<double>(c.draws) * (0.5 - s) * (0.5 - s) +
                           static_cast<double>(c.losses) * s * s) /
                          n;
  return {s, variance};
}

// Elo of a score strictly inside (0, 1); empty where it is not finite, which
// only happens for scores within rounding of 0 or 1.
std::optional<double> finiteElo(double score) {
  if (!(score > 0.0 && score < 1.0)) return std::nullopt;
  const double e = eloFromScore(score);
  if (!std::isfinite(e)) return std::nullopt;
  return e;
}

// One decimal with a sign, and never "-0.0".
std::string signedElo(double elo) {
  double rounded = std::round(elo * 10.0) / 10.0;
  if (rounded == 0.0) rounded = 0.0;
  return fmt::format("{:+.1f}", rounded);
}

std::string gamesText(std::int64_t n) {
  return fmt::format("{} game{}", n, n == 1 ? "" : "s");
}

}  // namespace

double scoreFromElo(double elo) {
  return 1.0 / (1.0 + std::pow(10.0, -elo / 400.0));
}

// -400 log10(1/s - 1) written as 400 log10(s / (1 - s)): for s just below 1,
// 1/s - 1 can round to 0, while 1 - s is exact there.
double eloFromScore(double score) {
  return 400.0 * std::log10(score / (1.0 - score));
}

EloEstimate estimateElo(const MatchCounts& counts) {
  KELP_CHECK(counts.wins >= 0 && counts.draws >= 0 && counts.losses >= 0);
  EloEstimate e;
  e.counts = counts;
  const std::int64_t n = counts.games();
  if (n == 0) return e;

  const ScoreMoments m = scoreMoments(counts);
  e.score = m.mean;
  e.elo = finiteElo(m.mean);
  // Zero variance: every game had the same result; the normal interval would
  // be a single point however few games were played, so no bound is given.
  if (m.variance > 0.0) {
    const double halfWidth = ELO_INTERVAL_Z * std::sqrt(m.variance / static_cast<double>(n));
    e.low = finiteElo(m.mean - halfWidth);
    e.high = finiteElo(m.mean + halfWidth);
  }
  return e;
}

std::string describeElo(const EloEstimate& e, std::string_view nameA, std::string_view nameB) {
  const MatchCounts& c = e.counts;
  const std::string head = fmt::format("{} vs {} after {} (+{} ={} -{})", nameA, nameB,
                                       gamesText(c.games()), c.wins, c.draws, c.losses);
  if (!e.score) return fmt::format("{} vs {}: no games played, no estimate", nameA, nameB);
  if (e.unboundedUp())
    return fmt::format("{}: {} won every game: no finite estimate, no interval", head, nameA);
  if (e.unboundedDown())
    return fmt::format("{}: {} won every game: no finite estimate, no interval", head, nameB);
  const std::string elo = e.elo ? signedElo(*e.elo) : std::string("no finite value");
  if (e.sameResultEveryGame())
    return fmt::format("{}: Elo {}, no interval (every game had the same result)", head, elo);
  const std::string low = e.low ? signedElo(*e.low) : std::string("unbounded below");
  const std::string high = e.high ? signedElo(*e.high) : std::string("unbounded above");
  return fmt::format("{}: Elo {}, 95 % interval {} .. {}", head, elo, low, high);
}

std::optional<std::string> sprtSettingsError(const SprtSettings& s) {
  if (!std::isfinite(s.elo0) || !std::isfinite(s.elo1) || std::abs(s.elo0) > 1000.0 ||
      std::abs(s.elo1) > 1000.0)
    return "SPRT: elo0 and elo1 must be numbers between -1000 and 1000";
  if (!(s.elo0 < s.elo1)) return "SPRT: elo0 must be smaller than elo1";
  if (!(s.alpha > 0.0 && s.alpha < 1.0) || !(s.beta > 0.0 && s.beta < 1.0))
    return "SPRT: alpha and beta must lie strictly between 0 and 1";
  if (!(s.alpha + s.beta < 1.0)) return "SPRT: alpha + beta must be below 1";
  return std::nullopt;
}

SprtResult sprt(const MatchCounts& counts, const SprtSettings& settings) {
  KELP_CHECK(!sprtSettingsError(settings));
  KELP_CHECK(counts.wins >= 0 && counts.draws >= 0 && counts.losses >= 0);
  SprtResult r;
  r.lower = std::log(settings.beta / (1.0 - settings.alpha));
  r.upper = std::log((1.0 - settings.beta) / settings.alpha);
  const std::int64_t n = counts.games();
  if (n == 0) return r;
  const ScoreMoments m = scoreMoments(counts);
  if (!(m.variance > 0.0)) return r;
  const double s0 = scoreFromElo(settings.elo0);
  const double s1 = scoreFromElo(settings.elo1);
  r.llr = static_cast<double>(n) / 2.0 * (s1 - s0) * (2.0 * m.mean - s0 - s1) / m.variance;
  if (r.llr >= r.upper)
    r.decision = SprtDecision::AcceptH1;
  else if (r.llr <= r.lower)
    r.decision = SprtDecision::AcceptH0;
  return r;
}

std::string_view sprtDecisionName(SprtDecision decision) {
  switch (decision) {
    case SprtDecision::AcceptH0:
      return "accept H0";
    case SprtDecision::AcceptH1:
      return "accept H1";
    case SprtDecision::Continue:
      break;
  }
  return "continue";
}

std::string describeSprt(const SprtResult& r, const SprtSettings& s) {
  return fmt::format(
      "SPRT H0 Elo {:.1f} vs H1 Elo {:.1f} (alpha {}, beta {}): LLR {:.2f} in ({:.2f}, "
      "{:+.2f}): {}",
      s.elo0, s.elo1, s.alpha, s.beta, r.llr, r.lower, r.upper, sprtDecisionName(r.decision));
}

}  // namespace Kelp
