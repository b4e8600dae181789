#include "referee/series.h"
#include "referee/series_files.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "referee_run.h"

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Draws every stone to the tee; its opponent throws every stone through the
// house, off the back, now and then clipping a stone on its way.
const std::vector<std::string> TEE = KelpTest::words(KelpTest::FAKE + " --script ok");
const std::vector<std::string> THROUGH = KelpTest::words(KelpTest::FAKE + " --script draw:0.5:3");

SeriesConfig config(const std::string& name, std::vector<std::string> a, std::vector<std::string> b,
                    int games) {
  SeriesConfig c;
  c.match.outDir = KELP_BINARY_DIR "/test-output/referee-series/" + name;
  fs::remove_all(c.match.outDir);
  c.match.commands = {std::move(a), std::move(b)};
  c.match.pictures = false;
  c.match.exitGrace = 1.0;
  c.games = games;
  c.seed = 5;
  c.concurrency = 2;  // the same results as one at a time, as tested below
  return c;
}

SeriesResult play(const SeriesConfig& c) {
  Series series(c, nullptr);
  return series.run();
}

std::vector<json> recordOf(const SeriesConfig& c, int game) {
  return KelpTest::jsonLines(fmt::format("{}/game-{:03}/record.jsonl", c.match.outDir, game));
}

// Two workers: the game running beside the deciding one is still counted,
// and no worker runs more than one game past the oldest uncounted one, so
// at most one game past the decision was started, however long each took.
// The lopsided pair is told apart, and the figures add up from the games.
TEST(Series, SprtStopsTheLopsidedPairEarly) {
  SeriesConfig c = config("sprt", TEE, THROUGH, 80);
  c.sprt = SprtSettings{0.0, 200.0, 0.05, 0.05};
  const SeriesResult r = play(c);
  ASSERT_TRUE(r.error.empty()) << r.error;
  // The test reads the games in order: it decides where their counts first do.
  MatchCounts counts;
  int decided = 0;
  std::array<int, 2> points{};
  for (const GameResult& g : r.games) {
    ++(g.result > 0 ? counts.wins : g.result < 0 ? counts.losses : counts.draws);
    if (!decided && sprt(counts, *c.sprt).decision != SprtDecision::Continue) decided = g.number;
    for (int s = 0; s < 2; ++s) points[s] += g.total[s];
    EXPECT_EQ(g.result, g.total[0] > g.total[1] ? 1 : g.total[0] < g.total[1] ? -1 : 0);
  }
  ASSERT_GT(decided, 0);
  EXPECT_EQ(r.sprtDecidedAfter, decided);
  EXPECT_EQ(r.sprt->decision, SprtDecision::AcceptH1);
  EXPECT_LT(decided, 60);
  EXPECT_LE(static_cast<int>(r.games.size()), decided + 1);
  EXPECT_FALSE(fs::exists(fmt::format("{}/game-{:03}", c.match.outDir, decided + 2)));

  const int n = static_cast<int>(r.games.size());
  EXPECT_TRUE(r.estimate.score >= 0.75 && r.estimate.low > 0.0) << describeElo(r.estimate);
  EXPECT_EQ(points, r.points);
  EXPECT_EQ(r.endsScored[0] + r.endsScored[1], n) << "one end a game, none blank here";
  ASSERT_EQ(static_cast<int>(r.history.size()), n);
  EXPECT_EQ(r.history[9].games(), 10);
}

TEST(Series, PairsShareTheirSeedSwapTheOrderOfPlayAndConcurrencyChangesNothing) {
  SeriesConfig c = config("pairs", TEE, THROUGH, 4), one = config("pairs-1", TEE, THROUGH, 4);
  c.seed = one.seed = 77;
  one.concurrency = 1;
  const SeriesResult r = play(c);
  ASSERT_EQ(r.games.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const GameResult& g = r.games[i];
    EXPECT_TRUE(g.number == i + 1 && g.seed == pairSeed(77, i) && g.aFirst == (i % 2 == 0)) << i;
  }
  EXPECT_TRUE(r.games[0].seed == r.games[1].seed && r.games[1].seed != r.games[2].seed &&
              pairSeed(77, 0) != pairSeed(78, 0));

  // In the second game B's command holds the first role and throws first,
  // and every throw meets the error of the same throw in the first game.
  const std::vector<json> first = recordOf(c, 1), second = recordOf(c, 2);
  ASSERT_TRUE(first.size() == 16u && second.size() == 16u);
  EXPECT_TRUE(second[0]["reply"] == first[1]["reply"] && second[1]["reply"] == first[0]["reply"])
      << "B's shot opens game 2";
  for (int i = 0; i < 16; ++i) EXPECT_EQ(first[i]["error"], second[i]["error"]) << i;
  EXPECT_NE(recordOf(c, 3)[0]["error"], first[0]["error"]);

  // Scores are told from the series' A: in game 2 the record's "A" is B.
  const json& score = second[15]["end_score"];
  ASSERT_EQ(r.games[1].ends.size(), 1u);
  ASSERT_FALSE(score["engine"].is_null()) << "this seed gives no blank end";
  EXPECT_EQ(r.games[1].ends[0].side, score["engine"] == "A" ? SIDE_B : SIDE_A);
  EXPECT_EQ(r.games[1].ends[0].points, score["points"]);
  EXPECT_EQ(r.games[1].total[r.games[1].ends[0].side], score["points"]);

  // One worker plays the same games.
  EXPECT_EQ(seriesJson(one, play(one))["games"], seriesJson(c, r)["games"]);
  for (int g = 1; g <= 4; ++g) EXPECT_EQ(recordOf(one, g), recordOf(c, g)) << g;
}

TEST(Series, AnEngineThatDiesInSomeGamesForfeitsThemAndTheSeriesGoesOn) {
  SeriesConfig c = config("forfeits", TEE, {}, 4);
  c.concurrency = 1;  // B's starts in game order
  const std::string counter = c.match.outDir + "-starts";
  fs::remove(counter);
  // B's command wins on the stones when it plays (it hits A's draws out
  // with the hammer), but dies at once on every second start.
  c.match.commands[1] =
      KelpTest::words(KelpTest::FAKE + " --script draw:0:4 --exit-every 2 --counter " + counter);
  const SeriesResult r = play(c);
  ASSERT_TRUE(r.error.empty()) << r.error;
  ASSERT_EQ(r.games.size(), 4u);
  for (const GameResult& g : r.games) {
    const bool dead = g.number % 2 == 0;
    EXPECT_EQ(g.forfeit, dead ? SIDE_B : FORFEIT_NONE) << g.number;
    EXPECT_TRUE(g.faults[SIDE_A] == 0 && (!dead || (g.result == 1 && g.faults[SIDE_B] > 0)))
        << g.number;
  }
  EXPECT_EQ(r.forfeitedGames, 2);
}

}  // namespace
}  // namespace Kelp::Referee
