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

using ::testing::HasSubstr;
using ::testing::Not;

// Expects a finite value near `expected`, or an empty optional when expected
// is empty.
void expectOptionalNear(const std::optional<double>& actual, std::optional<double> expected,
                        double tolerance, const char* what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(actual.has_value(), expected.has_value());
  if (expected) {
    EXPECT_TRUE(std::isfinite(*actual));
    EXPECT_NEAR(*actual, *expected, tolerance);
  }
}

void expectNoNonFiniteText(const std::string& text) {
  EXPECT_THAT(text, Not(HasSubstr("nan")));
  EXPECT_THAT(text, Not(HasSubstr("inf")));
}

TEST(EloEstimate, HandComputedCounts) {
  // W=60 D=20 L=20, N=100:
  //   s   = (60 + 20/2) / 100 = 0.7
  //   elo = -400 log10(1/0.7 - 1) = -400 log10(3/7) = -400 * -0.3679768 = 147.1907
  //   var = (60 * 0.3^2 + 20 * 0.2^2 + 20 * 0.7^2) / 100 = (5.4 + 0.8 + 9.8) / 100 = 0.16
  //   se  = sqrt(0.16 / 100) = 0.04;  1.959964 * 0.04 = 0.07839856
  //   low:  s = 0.62160144, 1/s - 1 = 0.6087479, -400 log10 = 86.2250
  //   high: s = 0.77839856, 1/s - 1 = 0.2846943, -400 log10 = 218.2518
  const EloEstimate e = estimateElo({60, 20, 20});
  expectOptionalNear(e.score, 0.7, 1e-12, "score");
  expectOptionalNear(e.elo, 147.1907, 1e-3, "elo");
  expectOptionalNear(e.low, 86.2250, 1e-3, "low");
  expectOptionalNear(e.high, 218.2518, 1e-3, "high");
  EXPECT_EQ(describeElo(e, "new", "old"),
            "new vs old after 100 games (+60 =20 -20): Elo +147.2, 95 % interval +86.2 .. +218.3");

  // W=3 D=0 L=1, N=4: s = 0.75, elo = 400 log10(3) = 190.8485,
  //   var = (3 * 0.25^2 + 1 * 0.75^2) / 4 = 0.1875, se = sqrt(0.1875 / 4) = 0.2165064,
  //   half width = 0.4243447: low s = 0.3256553 -> -400 log10(2.070732) = -126.4495,
  //   high s = 1.1743447 leaves (0, 1): unbounded above.
  const EloEstimate few = estimateElo({3, 0, 1});
  expectOptionalNear(few.elo, 190.8485, 1e-3, "elo");
  expectOptionalNear(few.low, -126.4495, 1e-3, "low");
  expectOptionalNear(few.high, std::nullopt, 0, "high");
  EXPECT_THAT(describeElo(few), HasSubstr("Elo +190.8, 95 % interval -126.4 .. unbounded above"));
}

TEST(EloEstimate, SwappingWinsAndLossesMirrorsTheEstimate) {
  const MatchCounts cases[] = {{60, 20, 20}, {3, 0, 1}, {9, 1, 0},
                               {7, 0, 0},    {1, 5, 0}, {412, 300, 288}};
  for (const MatchCounts& c : cases) {
    SCOPED_TRACE(testing::Message() << c.wins << "/" << c.draws << "/" << c.losses);
    const EloEstimate a = estimateElo(c);
    const EloEstimate b = estimateElo({c.losses, c.draws, c.wins});
    ASSERT_EQ(a.elo.has_value(), b.elo.has_value());
    if (a.elo) {
      EXPECT_NEAR(*a.elo, -*b.elo, 1e-9);
    }
    EXPECT_EQ(a.unboundedUp(), b.unboundedDown());
    ASSERT_EQ(a.low.has_value(), b.high.has_value());
    ASSERT_EQ(a.high.has_value(), b.low.has_value());
    if (a.low) {
      EXPECT_NEAR(*a.low, -*b.high, 1e-9);
    }
    if (a.high) {
      EXPECT_NEAR(*a.high, -*b.low, 1e-9);
    }
  }
}

TEST(EloEstimate, EqualStrengthIntervalContainsZero) {
  // W=30 D=40 L=30: s = 0.5, var = (30 * 0.25 + 0 + 30 * 0.25) / 100 = 0.15,
  //   se = sqrt(0.0015) = 0.0387298, half width = 0.0759091,
  //   bounds -/+ 400 log10(0.5759091 / 0.4240909) = -/+ 53.1580.
  const EloEstimate e = estimateElo({30, 40, 30});
  expectOptionalNear(e.elo, 0.0, 1e-12, "elo");
  expectOptionalNear(e.low, -53.1580, 1e-3, "low");
  expectOptionalNear(e.high, 53.1580, 1e-3, "high");
  EXPECT_THAT(describeElo(e), HasSubstr("Elo +0.0,"));  // never "-0.0"

  for (std::int64_t wl : {1, 2, 10, 250}) {
    for (std::int64_t d : {0, 1, 17}) {
      const EloEstimate x = estimateElo({wl, d, wl});
      SCOPED_TRACE(testing::Message() << wl << "/" << d);
      EXPECT_TRUE(!x.low || *x.low < 0.0);
      EXPECT_TRUE(!x.high || *x.high > 0.0);
    }
  }
  // One win, one loss: the interval spans the whole score range.
  const EloEstimate one = estimateElo({1, 0, 1});
  EXPECT_FALSE(one.low);
  EXPECT_FALSE(one.high);
  EXPECT_THAT(describeElo(one), HasSubstr("unbounded below .. unbounded above"));
}

TEST(EloEstimate, NoFiniteValueIsPutInWords) {
  const EloEstimate none = estimateElo({0, 0, 0});
  EXPECT_FALSE(none.score || none.elo || none.low || none.high || none.unboundedDown());
  EXPECT_EQ(describeElo(none), "A vs B: no games played, no estimate");

  const EloEstimate allWins = estimateElo({12, 0, 0});
  EXPECT_FALSE(allWins.elo || allWins.low || allWins.high);
  EXPECT_TRUE(allWins.unboundedUp());
  EXPECT_EQ(describeElo(allWins, "new", "old"),
            "new vs old after 12 games (+12 =0 -0): new won every game: no finite estimate, no "
            "interval");
  const EloEstimate allLosses = estimateElo({0, 0, 1});
  EXPECT_TRUE(allLosses.unboundedDown());
  EXPECT_THAT(describeElo(allLosses, "new", "old"),
              HasSubstr("after 1 game (+0 =0 -1): old won every game: no finite estimate"));

  // Every game drawn: the estimate is 0, but zero variance gives no interval.
  const EloEstimate draws = estimateElo({0, 8, 0});
  expectOptionalNear(draws.elo, 0.0, 0, "elo");
  EXPECT_FALSE(draws.low || draws.high);
  EXPECT_THAT(describeElo(draws), HasSubstr("no interval (every game had the same result)"));

  // Never lost, one draw: W=9 D=1 L=0, s = 0.95, elo = 400 log10(19) = 511.5014,
  //   var = (9 * 0.05^2 + 0.45^2) / 10 = 0.0225, se = 0.0474342, half width = 0.0929693,
  //   low s = 0.8570307 -> 400 log10(5.994514) = 311.1015, high s > 1.
  const EloEstimate unbeaten = estimateElo({9, 1, 0});
  expectOptionalNear(unbeaten.elo, 511.5014, 1e-3, "elo");
  expectOptionalNear(unbeaten.low, 311.1015, 1e-3, "low");
  EXPECT_FALSE(unbeaten.high);
  EXPECT_FALSE(unbeaten.unboundedUp());

  // A score that rounds to 1 although B won a game: no infinity, and not
  // described as a clean sweep.
  const EloEstimate rounded = estimateElo({std::int64_t{1} << 60, 0, 1});
  EXPECT_FALSE(rounded.unboundedUp());
  EXPECT_TRUE(!rounded.elo || std::isfinite(*rounded.elo));
  EXPECT_THAT(describeElo(rounded), Not(HasSubstr("won every game")));
  expectNoNonFiniteText(describeElo(rounded));
}

TEST(Sprt, HandComputedLlrAndDecisions) {
  // elo0 = 0, elo1 = 10: s0 = 0.5, s1 = 1 / (1 + 10^-0.025) = 1 / 1.9440609 = 0.5143872.
  //   s1 - s0 = 0.0143872, s0 + s1 = 1.0143872.
  // Bounds with alpha = beta = 0.05: ln(0.05 / 0.95) = -2.944439, ln(0.95 / 0.05) = +2.944439.
  const SprtSettings settings{0.0, 10.0};
  // W=60 D=20 L=20: s = 0.7, var = 0.16 (see the Elo test):
  //   LLR = 100/2 * 0.0143872 * (1.4 - 1.0143872) / 0.16 = 50 * 0.0055479 / 0.16 = 1.733713
  SprtResult r = sprt({60, 20, 20}, settings);
  EXPECT_NEAR(r.llr, 1.733713, 1e-5);
  EXPECT_NEAR(r.lower, -2.944439, 1e-6);
  EXPECT_NEAR(r.upper, 2.944439, 1e-6);
  EXPECT_EQ(r.decision, SprtDecision::Continue);
  // Five times the games, same proportions: LLR five times larger, 8.668567.
  r = sprt({300, 100, 100}, settings);
  EXPECT_NEAR(r.llr, 8.668567, 1e-5);
  EXPECT_EQ(r.decision, SprtDecision::AcceptH1);
  EXPECT_EQ(describeSprt(r, settings),
            "SPRT H0 Elo 0.0 vs H1 Elo 10.0 (alpha 0.05, beta 0.05): LLR 8.67 in (-2.94, +2.94): "
            "accept H1");
  // W=100 D=100 L=300: s = 0.3, var = 0.16 by symmetry:
  //   LLR = 500/2 * 0.0143872 * (0.6 - 1.0143872) / 0.16 = -9.315414
  r = sprt({100, 100, 300}, settings);
  EXPECT_NEAR(r.llr, -9.315414, 1e-5);
  EXPECT_EQ(r.decision, SprtDecision::AcceptH0);

  // alpha and beta play different parts: alpha = 0.05, beta = 0.10 gives
  //   lower = ln(0.10 / 0.95) = -2.251292, upper = ln(0.90 / 0.05) = +2.890372.
  const SprtSettings uneven{0.0, 10.0, 0.05, 0.10};
  r = sprt({60, 20, 20}, uneven);
  EXPECT_NEAR(r.lower, -2.251292, 1e-6);
  EXPECT_NEAR(r.upper, 2.890372, 1e-6);
  // W=25 D=25 L=75 (the 100/100/300 proportions, 125 games): LLR = -9.315414 / 4 = -2.328854,
  // below this lower bound but not below the default one.
  EXPECT_EQ(sprt({25, 25, 75}, uneven).decision, SprtDecision::AcceptH0);
  EXPECT_EQ(sprt({25, 25, 75}, settings).decision, SprtDecision::Continue);
}

TEST(Sprt, DegenerateCountsContinue) {
  const SprtSettings settings{0.0, 5.0};
  for (const MatchCounts& c :
       {MatchCounts{0, 0, 0}, MatchCounts{0, 40, 0}, MatchCounts{40, 0, 0}, MatchCounts{0, 0, 3}}) {
    SCOPED_TRACE(testing::Message() << c.wins << "/" << c.draws << "/" << c.losses);
    const SprtResult r = sprt(c, settings);
    EXPECT_EQ(r.llr, 0.0);
    EXPECT_EQ(r.decision, SprtDecision::Continue);
    EXPECT_TRUE(std::isfinite(r.lower) && std::isfinite(r.upper));
    expectNoNonFiniteText(describeSprt(r, settings));
  }
}

TEST(Sprt, BadSettingsAndCountsAreRejected) {
  EXPECT_FALSE(sprtSettingsError(SprtSettings{}));
  EXPECT_FALSE(sprtSettingsError({-5.0, 0.0, 0.01, 0.2}));
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
