// The self-play runner in-process with scripted players whose scores are
// known in advance: the first-thrower rule, the end score table (longer
// games than ten ends included) and the default counts. Real players and
// the lines' fields are checked end to end.
#include "driver/experiment.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "player/curling.h"
#include "support/tables.h"
#include "support/tempdir.h"
#include "support/text.h"

namespace {

using namespace Kelp;

int seedCalls = 0;
uint32_t countingSeed() {
  ++seedCalls;
  return 12345;
}

using KelpTest::split;

// Throws the draw to the tee with its first stone of the ends listed and
// every other stone off the side of the sheet, so that each listed end
// scores exactly one for it. Answers in the record frame, as players do.
class ScriptedPlayer final : public BaseAI<ThinkResult> {
 public:
  explicit ScriptedPlayer(std::set<int> drawEnds)
      : BaseAI<ThinkResult>("scripted"), drawEnds_(std::move(drawEnds)) {}
  bool Init() override { return true; }
  ThinkResult Think(CurlingGameState) override {
    const int end = calls_ / 8, nth = calls_ % 8;
    ++calls_;
    Move m;
    if (nth == 0 && drawEnds_.count(end) != 0)
      m.move_state = CurlingMoveState(0.0f, 0.0f, "TEE2", false, SHOT_DRAW);
    else
      std::tie(m.move_state.vx, m.move_state.vy) = std::tuple(5.0, 20.0);  // off the side
    m.move_state.vy = -m.move_state.vy;
    return {m, 1, 1};
  }

 private:
  std::set<int> drawEnds_;
  int calls_ = 0;
};

TEST(PlayExperiment, EveryEndOfALongGameIsScoredAndSummed) {
  // Per end from slot 0's view: +1 0 +1 -1 +1 -1 0 0 0 0 -1 -1. The first
  // ten sum to +1, all twelve to -1: a ten-entry table would name the wrong
  // winner.
  ExperimentSlot slots[2] = {
      {std::make_shared<ScriptedPlayer>(std::set<int>{0, 2, 4}), "zero"},
      {std::make_shared<ScriptedPlayer>(std::set<int>{3, 5, 10, 11}), "one"}};
  std::ostringstream out, shots, results;
  seedCalls = 0;
  const ExperimentTotals totals =
      playExperiment(1, 12, slots, {out, shots, results}, &countingSeed);
  EXPECT_EQ(results.str(), "1,0,1,-1,1,-1,0,0,0,0,-1,-1,\n");
  EXPECT_EQ(std::tie(totals.wins[0], totals.wins[1], totals.draws, seedCalls),
            std::tuple(0, 1, 0, 1));
  const std::vector<std::string> console = split(out.str(), '\n');

  // First throwers: the other slot after each scored end (steals in ends 0
  // and 10 included), the same after a blank one.
  ASSERT_EQ(console.size(), 1u + 12 * 16);
  std::string firsts;
  for (int e = 0; e < 12; ++e) firsts += split(console[1 + 16 * e], ',')[0] + " ";
  EXPECT_EQ(firsts, "zero one one zero one zero one one one one one zero ");
}

// The handler itself with scripted players: no number plays one game of ten
// ends, one number that many games of ten ends, and the files go to the
// folder given. Games of no end are draws with ten zeros.
TEST(RunExperiment, DefaultCountsAreOneGameAndTenEnds) {
  const struct {
    std::vector<std::string> tokens;
    unsigned games, ends;
  } cases[] = {
      {{"Run", "\n"}, 1, 10}, {{"run", "3", "\n"}, 3, 10}, {{"run", "2", "0", "\n"}, 2, 0}};
  for (const auto& [tokens, games, ends] : cases) {
    KelpTest::TempDir dir;
    std::ostringstream console;
    seedCalls = 0;
    const ExperimentSetup setup{
        dir.path(), console,
        [](ExperimentSlot slots[2]) {
          for (int i : {0, 1}) slots[i] = {std::make_shared<ScriptedPlayer>(std::set<int>{}), "p"};
        },
        &countingSeed};
    EXPECT_FALSE(runExperiment(tokens, setup));
    EXPECT_EQ(seedCalls, games);
    const std::vector<std::string> out = split(console.str(), '\n');
    ASSERT_EQ(out.size(), games * (1 + 16 * ends) + 4) << tokens[0];
    EXPECT_EQ(out.back(), "Run Command End");
    EXPECT_EQ(split(KelpTest::readFile(dir.path() / "shot.txt"), '\n').size(), games * 16 * ends);
    EXPECT_EQ(split(KelpTest::readFile(dir.path() / "result.txt"), '\n'),
              std::vector<std::string>(games, "0,0,0,0,0,0,0,0,0,0,"));
    EXPECT_EQ(KelpTest::readFile(dir.path() / "aggregate.txt"),
              "0,0," + std::to_string(games) + "\n");
  }
}

}  // namespace
