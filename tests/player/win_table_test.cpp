#include "player/win_table.h"

#include <gtest/gtest.h>

#include <tuple>

#include "player/match_situation.h"

namespace {

// The hammer side scores one half of the time, has one stolen a quarter of
// the time, and blanks the rest: small enough to work out by hand.
EndScoreDistribution oneOrSteal() {
  EndScoreDistribution d{};
  d[MAX_END_POINTS + 1] = 2.0;  // unnormalised on purpose: 0.5
  d[MAX_END_POINTS - 1] = 1.0;  // 0.25
  d[MAX_END_POINTS] = 1.0;      // 0.25
  return d;
}

TEST(WinTable, MatchesTheHandComputedChances) {
  const WinTable t(oneOrSteal());
  // One end, level: with the hammer 0.5 win + 0.25 blank x 0.5 (a draw).
  EXPECT_DOUBLE_EQ(t.win(0, 1, true), 0.625);
  EXPECT_DOUBLE_EQ(t.win(0, 1, false), 0.375);
  // Two ends, level, with the hammer:
  //   score 1 (0.5): lead 1 without the hammer, one end: 0.5 x 0.5 (draw)
  //     + 0.25 (stolen) + 0.25 (blank) = 0.75;
  //   stolen (0.25): behind 1 with the hammer: 0.5 x 0.5 = 0.25;
  //   blank (0.25): level with the hammer, one end: 0.625.
  EXPECT_DOUBLE_EQ(t.win(0, 2, true), 0.5 * 0.75 + 0.25 * 0.25 + 0.25 * 0.625);
  // Up 2 without the hammer, one end left: the other side scores at most 1.
  EXPECT_DOUBLE_EQ(t.win(2, 1, false), 1.0);
  // The match over: the lead decides, a level match is a draw.
  EXPECT_EQ(t.win(3, 0, false), 1.0);
  EXPECT_EQ(t.win(0, 0, true), 0.5);
  EXPECT_EQ(t.win(-1, 0, true), 0.0);
  // Leads and ends beyond the table are clamped, not read out of bounds.
  EXPECT_EQ(t.win(10'000, 3, true), 1.0);
  EXPECT_EQ(t.win(-10'000, 50, false), 0.0);
}

TEST(WinTable, BothSidesChancesAddUpAndTheLastEndIsTheSignOfTheScore) {
  EndScoreDistribution d{};
  for (int k = -3; k <= 4; ++k) d[MAX_END_POINTS + k] = 1.0 + (k > 0) * k;
  const WinTable t(d);
  for (int n = 0; n <= WinTable::MAX_ENDS; ++n) {
    for (int lead = -12; lead <= 12; ++lead) {
      EXPECT_NEAR(t.win(lead, n, true) + t.win(-lead, n, false), 1.0, 1e-12) << lead << " " << n;
      if (n > 0) {
        EXPECT_LE(t.win(lead, n, true), t.win(lead + 1, n, true));
      }
    }
  }
  // In a level last end a sample is worth only whether it wins: 2W - 1 is
  // the sign of the end's points, whatever their size.
  for (int points : {-3, -1, 0, 1, 4}) {
    EXPECT_EQ(2 * t.afterEnd(0, points, true, 0) - 1, (points > 0) - (points < 0)) << points;
  }
  // Scoring gives the hammer away, a blank keeps it.
  EXPECT_EQ(t.afterEnd(0, 0, true, 1), t.win(0, 1, true));
  EXPECT_EQ(t.afterEnd(0, 1, true, 1), t.win(1, 1, false));
}

}  // namespace

namespace {

TEST(MatchSituation, TheLastScorerThrowsFirstSoTheRecordSaysWhoWeAre) {
  Kelp::ClientField f;
  f.setState(0, 0, 8, 0);
  f.addScore(2);  // end 0: player 0 scores two; it throws first from end 1 on
  f.setState(0, 1, 8, 0);
  f.addScore(0);  // end 1 blank: the order stays
  f.setState(3, 2, 8, 1);
  // Shot 3 of end 2 is the second thrower's: player 1, two behind, hammer.
  MatchSituation m = matchSituation(f);
  EXPECT_EQ(std::tuple(m.lead, m.hammer, m.endsAfter), std::tuple(-2, true, 5));
  f.setState(4, 2, 8, 0);
  m = matchSituation(f);
  EXPECT_EQ(std::tuple(m.lead, m.hammer), std::tuple(2, false));
  // End 2: player 1 steals three; it throws first in end 3, one ahead.
  f.addScore(-3);
  f.setState(0, 3, 4, 1);
  m = matchSituation(f);
  EXPECT_EQ(std::tuple(m.lead, m.hammer, m.endsAfter), std::tuple(1, false, 0));
  // Before any score the match is level whoever we are.
  Kelp::ClientField fresh;
  fresh.setState(7, 0, 1, 1);
  m = matchSituation(fresh);
  EXPECT_EQ(std::tuple(m.lead, m.hammer, m.endsAfter), std::tuple(0, true, 0));
}

}  // namespace
