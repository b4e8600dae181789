#include "referee/series.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "referee/resume.h"
#include "referee/series_files.h"
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
  c.match.outDir = KelpTest::outDir("referee-series/" + name);
  c.match.commands = {std::move(a), std::move(b)};
  c.match.pictures = false;
  c.match.exitGrace = 1.0;
  c.games = games;
  c.seed = 5;
  c.concurrency = 2;  // the same results as one at a time, as tested below
  return c;
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
  const SeriesResult r = Series(c, nullptr).run();
  ASSERT_TRUE(r.error.empty()) << r.error;
  // The test reads the pairs in order: it decides where their counts first
  // do, at the second game of a pair.
  PairCounts pairs;
  int decided = 0;
  std::array<int, 2> points{};
  for (const GameResult& g : r.games) {
    if (g.number % 2 == 0) pairs.add(r.games[g.number - 2].result, g.result);
    if (!decided && sprtPairs(pairs, *c.sprt).decision != SprtDecision::Continue)
      decided = g.number;
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
  const SeriesResult r = Series(c, nullptr).run();
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
  EXPECT_EQ(seriesJson(one, Series(one, nullptr).run())["games"], seriesJson(c, r)["games"]);
  for (int g = 1; g <= 4; ++g) EXPECT_EQ(recordOf(one, g), recordOf(c, g)) << g;
}

// Nine games counted (no engine runs): 1-2 won both, 3-4 split, 5-6 a draw
// and a loss, 7-8 lost both, 9 won without its partner. Pairs 1 1 1 0 1
// (by A's points 0, 1/2, 1, 3/2, 2); m = (0 + 1/4 + 1/2 + 1) / 4 = 0.4375,
// Elo 400 log10(0.4375 / 0.5625) = -43.6578, and the SPRT that of these
// pairs (its arithmetic is checked in stats_test). Per game (4 W, 1 D, 4 L,
// game 9 included) the score is 0.5, Elo 0, var 2/9, and the old "llr"
// 4.5 * 0.0143872 * (1 - 1.0143872) / (2/9) = -0.0041916.
TEST(Series, PairsAreCountedInOrderWithoutTheUnpairedGameAndReadBackTheSame) {
  SeriesConfig c = config("pair-counts", TEE, THROUGH, 10);
  c.sprt = SprtSettings{0.0, 10.0, 0.05, 0.05};
  const int results[] = {1, 1, 1, -1, 0, -1, -1, -1, 1};
  std::vector<GameResult> games;
  for (int i = 0; i < 9; ++i) {
    GameResult g;
    g.number = i + 1;
    g.seed = pairSeed(c.seed, i);
    g.aFirst = i % 2 == 0;
    g.result = results[i];
    g.total = {results[i] > 0 ? 1 : 0, results[i] < 0 ? 1 : 0};
    games.push_back(g);
  }
  Series live(c, nullptr);
  // Finished out of order: counted in order all the same.
  for (int i : {1, 0, 3, 2, 4, 5, 6, 8, 7}) live.finish(games[i]);
  const json j = seriesJson(c, live.result());
  EXPECT_EQ(j["pairs"], json({1, 1, 1, 0, 1}));
  EXPECT_EQ(j["unpaired_games"], 1);
  EXPECT_NEAR(j["pair_score"].get<double>(), 0.4375, 1e-12);
  EXPECT_NEAR(j["elo_pair"].get<double>(), -43.6578, 1e-3);
  EXPECT_NEAR(j["elo"].get<double>(), 0.0, 1e-9);
  EXPECT_EQ(j["sprt"]["llr_pair"].get<double>(), sprtPairs({{1, 1, 1, 0, 1}}, *c.sprt).llr);
  EXPECT_NEAR(j["sprt"]["llr"].get<double>(), -0.0041916, 1e-6);
  EXPECT_EQ(j["sprt"]["decision"], "continue");
  const std::string summary = seriesSummary(c, live.result());
  EXPECT_NE(summary.find("A vs B after 8 games in 4 pairs (pair scores 0 ½ 1 1½ 2: 1 1 1 0 1): "
                         "Elo -43.7, 95 % interval"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("game 9 has no partner"), std::string::npos) << summary;
  // A resumed series reads the same games back from their lines and gives
  // the same figures.
  std::vector<GameResult> read;
  for (const GameResult& g : games) read.push_back(*gameFromJson(json::parse(gameJson(g).dump())));
  Series resumed(c, nullptr);
  resumed.resumeFrom(read);
  EXPECT_EQ(seriesJson(c, resumed.result()), j);
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
  const SeriesResult r = Series(c, nullptr).run();
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
