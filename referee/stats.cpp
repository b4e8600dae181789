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

// The halved pair score and its variance over the pairs; at least one pair.
ScoreMoments pairMoments(const PairCounts& c) {
  const double n = static_cast<double>(c.pairs());
  double sum = 0.0;
  for (int k = 0; k < 5; ++k) sum += static_cast<double>(c.n[k]) * (k / 4.0);
  const double m = sum / n;
  double squares = 0.0;
  for (int k = 0; k < 5; ++k)
    squares += static_cast<double>(c.n[k]) * (k / 4.0 - m) * (k / 4.0 - m);
  return {m, squares / n};
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

// The score, Elo and interval of an estimate from the moments of `units`
// games or pairs (at least one).
template <class Estimate>
void setEstimate(Estimate& e, const ScoreMoments& m, std::int64_t units) {
  e.score = m.mean;
  e.elo = finiteElo(m.mean);
  // Zero variance: every game (pair) had the same result; the normal interval
  // would be a single point however few were played, so no bound is given.
  if (m.variance > 0.0) {
    const double halfWidth = ELO_INTERVAL_Z * std::sqrt(m.variance / static_cast<double>(units));
    e.low = finiteElo(m.mean - halfWidth);
    e.high = finiteElo(m.mean + halfWidth);
  }
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

  setEstimate(e, scoreMoments(counts), n);
  return e;
}

void PairCounts::add(int first, int second) {
  KELP_CHECK(-1 <= first && first <= 1 && -1 <= second && second <= 1);
  ++n[static_cast<size_t>(first + second + 2)];
}

PairEloEstimate estimatePairElo(const PairCounts& counts) {
  for (std::int64_t k : counts.n) KELP_CHECK(k >= 0);
  PairEloEstimate e;
  e.counts = counts;
  const std::int64_t n = counts.pairs();
  if (n == 0) return e;
  setEstimate(e, pairMoments(counts), n);
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

std::string describePairElo(const PairEloEstimate& e, std::string_view nameA,
                            std::string_view nameB) {
  const std::array<std::int64_t, 5>& n = e.counts.n;
  const std::int64_t pairs = e.pairs();
  if (!e.score) return fmt::format("{} vs {}: no pair of games played, no estimate", nameA, nameB);
  const std::string head = fmt::format(
      "{} vs {} after {} in {} pair{} (pair scores 0 ½ 1 1½ 2: {} {} {} {} {})", nameA, nameB,
      gamesText(2 * pairs), pairs, pairs == 1 ? "" : "s", n[0], n[1], n[2], n[3], n[4]);
  if (e.unboundedUp())
    return fmt::format("{}: {} won every game: no finite estimate, no interval", head, nameA);
  if (e.unboundedDown())
    return fmt::format("{}: {} won every game: no finite estimate, no interval", head, nameB);
  const std::string elo = e.elo ? signedElo(*e.elo) : std::string("no finite value");
  if (e.samePairEveryTime())
    return fmt::format("{}: Elo {}, no interval (every pair had the same outcome)", head, elo);
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

namespace {

// r with the decision its LLR takes between its bounds.
SprtResult decided(SprtResult r) {
  if (r.llr >= r.upper)
    r.decision = SprtDecision::AcceptH1;
  else if (r.llr <= r.lower)
    r.decision = SprtDecision::AcceptH0;
  return r;
}

// The test on n units (games or pairs) whose score has the moments m (only
// read when n > 0).
SprtResult sprtOn(std::int64_t n, const ScoreMoments& m, const SprtSettings& settings) {
  KELP_CHECK(!sprtSettingsError(settings));
  SprtResult r;
  r.lower = std::log(settings.beta / (1.0 - settings.alpha));
  r.upper = std::log((1.0 - settings.beta) / settings.alpha);
  if (n == 0) return r;
  if (!(m.variance > 0.0)) return r;
  const double s0 = scoreFromElo(settings.elo0);
  const double s1 = scoreFromElo(settings.elo1);
  r.llr = static_cast<double>(n) / 2.0 * (s1 - s0) * (2.0 * m.mean - s0 - s1) / m.variance;
  return decided(r);
}

}  // namespace

SprtResult sprt(const MatchCounts& counts, const SprtSettings& settings) {
  KELP_CHECK(counts.wins >= 0 && counts.draws >= 0 && counts.losses >= 0);
  const std::int64_t n = counts.games();
  return sprtOn(n, n > 0 ? scoreMoments(counts) : ScoreMoments{0.0, 0.0}, settings);
}

namespace {

// An empty outcome's weight in the shares the likelihood is maximised from.
constexpr double EMPTY_OUTCOME = 1e-3;

// ln p_k of the most likely pentanomial with mean s for the shares q
// (see sprtPairs), 0 < s < 1.
std::array<double, 5> logMostLikely(const std::array<double, 5>& q, double s) {
  // g(theta) = sum q_k (x_k - s) / (1 + theta (x_k - s)) falls from +inf to
  // -inf as theta runs over the interval where every denominator is
  // positive, (-1 / (1 - s), 1 / s): bisect for its root.
  const auto g = [&](double theta) {
    double sum = 0.0;
    for (int k = 0; k < 5; ++k) {
      const double d = k / 4.0 - s;
      sum += q[k] * d / (1.0 + theta * d);
    }
    return sum;
  };
  double lo = -1.0 / (1.0 - s), hi = 1.0 / s;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (mid <= lo || mid >= hi) break;  // as close as doubles get
    (g(mid) > 0.0 ? lo : hi) = mid;
  }
  const double theta = 0.5 * (lo + hi);
  std::array<double, 5> p{};
  double total = 0.0;
  for (int k = 0; k < 5; ++k) total += p[k] = q[k] / (1.0 + theta * (k / 4.0 - s));
  for (double& v : p) v = std::log(v / total);
  return p;
}

}  // namespace

SprtResult sprtPairs(const PairCounts& counts, const SprtSettings& settings) {
  for (std::int64_t k : counts.n) KELP_CHECK(k >= 0);
  // The bounds, and no test without a pair.
  SprtResult r = sprtOn(0, ScoreMoments{0.0, 0.0}, settings);
  if (counts.pairs() == 0) return r;
  std::array<double, 5> q{};
  double total = 0.0;
  for (int k = 0; k < 5; ++k) {
    total += q[k] = counts.n[k] > 0 ? static_cast<double>(counts.n[k]) : EMPTY_OUTCOME;
  }
  for (double& v : q) v /= total;
  const std::array<double, 5> p0 = logMostLikely(q, scoreFromElo(settings.elo0));
  const std::array<double, 5> p1 = logMostLikely(q, scoreFromElo(settings.elo1));
  r.llr = 0.0;
  for (int k = 0; k < 5; ++k) r.llr += static_cast<double>(counts.n[k]) * (p1[k] - p0[k]);
  return decided(r);
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
