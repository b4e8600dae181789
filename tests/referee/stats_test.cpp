#include "referee/stats.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "support/death.h"

namespace Kelp {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;
constexpr std::optional<double> NONE;

// Worked by hand from s = (W + D/2) / N, var = (W (1-s)^2 + D (1/2-s)^2 +
// L s^2) / N, se = sqrt(var / N), bounds e(s -/+ 1.959964 se):
//   60/20/20: s 0.7, var 0.16, se 0.04: low s 0.6216014, high s 0.7783986.
//   3/0/1:    s 0.75, se 0.2165064: high s 1.1743447 leaves (0, 1).
//   30/40/30: s 0.5, var 0.15: -/+ 400 log10(0.5759091 / 0.4240909).
//   9/1/0:    s 0.95, var 0.0225: low s 0.8570307, high s > 1.
// Every game drawn: the estimate is 0, but zero variance gives no interval.
const struct EloCase {
  MatchCounts counts;
  std::optional<double> elo, low, high;
  const char* words;
} ELO_CASES[] = {
    {{60, 20, 20}, 147.1907, 86.2250, 218.2518, "Elo +147.2, 95 % interval +86.2 .. +218.3"},
    {{3, 0, 1}, 190.8485, -126.4495, NONE, "Elo +190.8, 95 % interval -126.4 .. unbounded above"},
    {{30, 40, 30}, 0.0, -53.1580, 53.1580, "Elo +0.0,"},  // never "-0.0"
    {{9, 1, 0}, 511.5014, 311.1015, NONE, "Elo +511.5, 95 % interval +311.1 .. unbounded above"},
    {{1, 0, 1}, 0.0, NONE, NONE, "unbounded below .. unbounded above"},
    {{0, 8, 0}, 0.0, NONE, NONE, "no interval (every game had the same result)"},
    {{0, 0, 0}, NONE, NONE, NONE, "A vs B: no games played, no estimate"},
    {{12, 0, 0}, NONE, NONE, NONE, "(+12 =0 -0): A won every game: no finite estimate, no "},
    {{0, 0, 1}, NONE, NONE, NONE, "after 1 game (+0 =0 -1): B won every game: no finite estimate"},
};

TEST(EloEstimate, HandComputedCountsAndTheirWords) {
  for (const EloCase& k : ELO_CASES) {
    const MatchCounts& c = k.counts;
    SCOPED_TRACE(testing::Message() << c.wins << "/" << c.draws << "/" << c.losses);
    // Swapping wins and losses mirrors the estimate.
    const EloEstimate e = estimateElo(c), m = estimateElo({c.losses, c.draws, c.wins});
    const auto neg = [](std::optional<double> v) { return v ? std::optional(-*v) : NONE; };
    const std::optional<double> got[] = {e.elo, e.low, e.high, m.elo, m.low, m.high},
                                want[] = {k.elo,      k.low,       k.high,
                                          neg(k.elo), neg(k.high), neg(k.low)};
    for (int i = 0; i < 6; ++i) {  // elo, low, high; the same mirrored
      EXPECT_EQ(got[i].has_value(), want[i].has_value()) << i;
      EXPECT_NEAR(got[i].value_or(0.0), want[i].value_or(0.0), 1e-3) << i;
    }
    EXPECT_THAT(describeElo(e), HasSubstr(k.words));
    EXPECT_EQ(e.score.has_value(), c.games() > 0);
    EXPECT_EQ(e.unboundedUp(), m.unboundedDown());
  }
  EXPECT_EQ(describeElo(estimateElo({60, 20, 20}), "new", "old"),
            "new vs old after 100 games (+60 =20 -20): Elo +147.2, 95 % interval +86.2 .. +218.3");
  EXPECT_THAT(describeElo(estimateElo({0, 0, 1}), "new", "old"), HasSubstr("old won every game"));
  // A score that rounds to 1 although B won a game: no infinity, and not
  // described as a clean sweep.
  const EloEstimate rounded = estimateElo({std::int64_t{1} << 60, 0, 1});
  EXPECT_FALSE(rounded.unboundedUp());
  EXPECT_TRUE(!rounded.elo || std::isfinite(*rounded.elo));
  EXPECT_THAT(describeElo(rounded),
              Not(AnyOf(HasSubstr("won every game"), HasSubstr("nan"), HasSubstr("inf"))));
}

TEST(Sprt, HandComputedLlrAndDecisions) {
  // elo0 = 0, elo1 = 10: s0 = 0.5, s1 = 0.5143872; LLR = N/2 (s1 - s0)
  // (2 s - s0 - s1) / var: 1.733713 for 60/20/20, five times that for five
  // times the games, -9.315414 for 100/100/300 (var 0.16 by symmetry), a
  // quarter of that for 25/25/75. Bounds ln(beta / (1 - alpha)) and
  // ln((1 - beta) / alpha): -/+2.944439 for 0.05/0.05, -2.251292 and
  // +2.890372 for alpha 0.05, beta 0.10.
  const SprtSettings even{0.0, 10.0}, uneven{0.0, 10.0, 0.05, 0.10};
  const struct {
    MatchCounts counts;
    SprtSettings settings;
    double llr, lower, upper;
    SprtDecision decision;
  } cases[] = {
      {{60, 20, 20}, even, 1.733713, -2.944439, 2.944439, SprtDecision::Continue},
      {{300, 100, 100}, even, 8.668567, -2.944439, 2.944439, SprtDecision::AcceptH1},
      {{100, 100, 300}, even, -9.315414, -2.944439, 2.944439, SprtDecision::AcceptH0},
      {{60, 20, 20}, uneven, 1.733713, -2.251292, 2.890372, SprtDecision::Continue},
      {{25, 25, 75}, uneven, -2.328854, -2.251292, 2.890372, SprtDecision::AcceptH0},
      {{25, 25, 75}, even, -2.328854, -2.944439, 2.944439, SprtDecision::Continue},
  };
  for (const auto& k : cases) {
    const SprtResult r = sprt(k.counts, k.settings);
    SCOPED_TRACE(testing::Message() << "row " << &k - cases);
    EXPECT_NEAR(r.llr, k.llr, 1e-5);
    EXPECT_NEAR(r.lower, k.lower, 1e-6);
    EXPECT_NEAR(r.upper, k.upper, 1e-6);
    EXPECT_EQ(r.decision, k.decision);
  }
  EXPECT_EQ(describeSprt(sprt({300, 100, 100}, even), even),
            "SPRT H0 Elo 0.0 vs H1 Elo 10.0 (alpha 0.05, beta 0.05): LLR 8.67 in (-2.94, +2.94): "
            "accept H1");
  // Degenerate counts continue, in finite words.
  for (const MatchCounts& c :
       {MatchCounts{0, 0, 0}, MatchCounts{0, 40, 0}, MatchCounts{40, 0, 0}, MatchCounts{0, 0, 3}}) {
    const SprtResult r = sprt(c, even);
    EXPECT_TRUE(r.llr == 0.0 && r.decision == SprtDecision::Continue) << c.wins << "/" << c.draws;
    EXPECT_THAT(describeSprt(r, even), Not(AnyOf(HasSubstr("nan"), HasSubstr("inf"))));
  }
}

// Pairs by hand: x_k = k/4 for a pair score of k/2, m = sum n_k x_k / P,
// var = sum n_k (x_k - m)^2 / P, se = sqrt(var / P), bounds e(m -/+ 1.959964
// se).
//   1 2 4 6 3 (16 pairs; as games 16 W, 8 D, 8 L): m = 10/16 = 0.625,
//     var = (0.390625 + 0.28125 + 0.0625 + 0.09375 + 0.421875) / 16 =
//     0.078125, se 0.0698771: s 0.4880434 .. 0.7619566, Elo +88.7395 in
//     -8.3099 .. +202.1097; per game (var 0.171875, se 0.0732877)
//     -12.9593 .. +208.5752: split pairs narrow the interval.
//   3 0 0 0 5 (8 pairs; 10 W, 6 L): m 0.625, var 0.234375, se 0.1711633:
//     -155.9442 .. +554.2407, wider than per game (-79.3258 .. +318.5667):
//     pairs whose games go the same way tell less than 16 games would.
//   0 1 1 0 0: m 0.375, var 0.015625: Elo -88.7395 in -238.9172 .. +33.6238.
//   0 0 10 0 0: every pair split: Elo 0, no interval.
TEST(PairStatistics, HandComputedPairsAgainstTheirGames) {
  const struct {
    PairCounts pairs;
    std::optional<double> elo, low, high;
    const char* words;
  } cases[] = {
      {{{1, 2, 4, 6, 3}},
       88.7395,
       -8.3099,
       202.1097,
       "A vs B after 32 games in 16 pairs (pair scores 0 ½ 1 1½ 2: 1 2 4 6 3): Elo +88.7, 95 % "
       "interval -8.3 .. +202.1"},
      {{{3, 0, 0, 0, 5}}, 88.7395, -155.9442, 554.2407, "interval -155.9 .. +554.2"},
      {{{0, 1, 1, 0, 0}}, -88.7395, -238.9172, 33.6238, "Elo -88.7, 95 % interval"},
      {{{0, 0, 10, 0, 0}}, 0.0, NONE, NONE, "no interval (every pair had the same outcome)"},
      {{{0, 0, 0, 0, 4}}, NONE, NONE, NONE, "A won every game: no finite estimate"},
      {{}, NONE, NONE, NONE, "no pair of games played"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << "row " << &k - cases);
    const PairEloEstimate e = estimatePairElo(k.pairs);
    const std::optional<double> got[] = {e.elo, e.low, e.high}, want[] = {k.elo, k.low, k.high};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(got[i].has_value(), want[i].has_value()) << i;
      EXPECT_NEAR(got[i].value_or(0.0), want[i].value_or(0.0), 1e-3) << i;
    }
    EXPECT_THAT(describePairElo(e), HasSubstr(k.words));
  }
  // The first row's games one by one, per game: the wider interval.
  const EloEstimate games = estimateElo({16, 8, 8});
  EXPECT_NEAR(*games.low, -12.9593, 1e-3);
  EXPECT_NEAR(*games.high, 208.5752, 1e-3);
  // A pair is filed by its points for A, whichever game came first.
  PairCounts c;
  for (const auto& [a, b] : {std::pair{1, 1}, {1, -1}, {-1, 1}, {0, 0}, {0, -1}, {-1, 0}, {0, 1}})
    c.add(a, b);
  EXPECT_EQ(c.n, (std::array<std::int64_t, 5>{0, 2, 3, 1, 1}));
  EXPECT_CHECK_FAILS(c.add(2, 0), "-1 <= first && first <= 1 && -1 <= second && second <= 1");
}

// The pairs' LLR, sum n_k ln(p1_k / p0_k) with p_j the most likely
// pentanomial of mean s_j, on counts where that is found by hand (the
// 0.001 given to empty outcomes moves the figures by about 0.001):
//   0 0 6 0 4, H0 Elo 50 (s0 0.5714631), H1 150 (s1 0.7033850). Under H1
//     the outcomes seen can have mean s1: 1 with 2 s1 - 1 = 0.4067700, 1/2
//     with 0.5932300. Under H0 weight c moves to 0: (c, 2 (1 - c - s0),
//     2 s0 + c - 1) on 0, 1/2, 1, most likely where 4 (1 - c - s0) =
//     6 (2 s0 + c - 1), c = 1 - 1.6 s0 = 0.0856590: 0.6857557, 0.2285852.
//     LLR = 6 ln(0.5932300 / 0.6857557) + 4 ln(0.4067700 / 0.2285852) =
//     1.435719.
//   0 0 P 0 0 (every pair split), H0 0: p0 all on 1/2; under H1 1/2 keeps
//     2 - 2 s1, the rest on 1: LLR = P ln(2 - 2 s1): -0.291965 for 10 pairs
//     and H1 10 (s1 0.5143872); -1.704748 per pair for H1 400 (s1 10/11),
//     below ln(0.2 / 0.8) = -1.386294 after one pair. The normal
//     approximation, with no variance, would never decide.
//   0 0 0 0 4 (A swept), H0 0: p0(1) at most 1/2 (the rest on 0), p1(1) =
//     s1: LLR = 4 ln(2 s1) = 0.113473 for H1 10.
TEST(PairStatistics, TheLlrOfThePairsByHand) {
  const SprtSettings tens{0.0, 10.0}, wide{0.0, 400.0, 0.2, 0.2};
  const struct {
    PairCounts pairs;
    SprtSettings settings;
    double llr;
    SprtDecision decision;
  } cases[] = {
      {{{0, 0, 6, 0, 4}}, {50.0, 150.0}, 1.435719, SprtDecision::Continue},
      {{{0, 0, 10, 0, 0}}, tens, -0.291965, SprtDecision::Continue},
      {{{0, 0, 1, 0, 0}}, wide, -1.704748, SprtDecision::AcceptH0},
      {{{0, 0, 30, 0, 0}}, wide, -30 * 1.704748, SprtDecision::AcceptH0},
      {{{0, 0, 0, 0, 4}}, tens, 0.113473, SprtDecision::Continue},
      {{}, tens, 0.0, SprtDecision::Continue},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << "row " << &k - cases);
    const SprtResult r = sprtPairs(k.pairs, k.settings);
    EXPECT_NEAR(r.llr, k.llr, 2e-3 * std::max(1.0, std::abs(k.llr)));
    EXPECT_EQ(r.decision, k.decision);
    EXPECT_NEAR(r.lower, std::log(k.settings.beta / (1.0 - k.settings.alpha)), 1e-12);
  }
}

TEST(Sprt, BadSettingsAndCountsAreRejected) {
  EXPECT_FALSE(sprtSettingsError(SprtSettings{}) || sprtSettingsError({-5.0, 0.0, 0.01, 0.2}));
  const SprtSettings bad[] = {
      {5.0, 5.0},           {10.0, 0.0},         {0.0, 5.0, 0.0, 0.05}, {0.0, 5.0, 0.05, 1.0},
      {0.0, 5.0, 0.5, 0.5}, {std::nan(""), 5.0}, {0.0, 5000.0}};
  for (const SprtSettings& s : bad) EXPECT_TRUE(sprtSettingsError(s)) << s.elo0 << " " << s.elo1;
  EXPECT_CHECK_FAILS(sprt({1, 1, 1}, SprtSettings{5.0, 0.0}), "!sprtSettingsError(settings)");
  EXPECT_CHECK_FAILS(estimateElo({-1, 0, 2}),
                     "counts.wins >= 0 && counts.draws >= 0 && counts.losses >= 0");
}

}  // namespace
}  // namespace Kelp
