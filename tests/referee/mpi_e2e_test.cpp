// kelp-referee's series spread over MPI ranks on this machine: a decided
// SPRT, and a series continued with --resume after its referee was killed,
// compared with one uninterrupted series in a single process.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "referee_run.h"

namespace {

namespace fs = std::filesystem;
using namespace KelpTest;
using nlohmann::json;

// Six games of four throws each, one engine drawing to the tee and the other
// past it: every game is scored, the engines are deterministic.
std::string seriesArgs(const std::string& dir, const std::string& extra = "") {
  return fmt::format(
      "--concurrency 2 --games 6 --seed 5 --throws 4 --out {} '{} --script ok{}' "
      "'{} --script draw:0.5:3{}'",
      dir, FAKE, extra, FAKE, extra);
}

Outcome mpirun(int ranks, const std::string& args) {
  return runToEnd(KELP_MPIEXEC, words(fmt::format("--oversubscribe --allow-run-as-root -n {} {} {}",
                                                  ranks, REFEREE, args)));
}

json seriesOf(const std::string& dir) {
  return json::parse(readFile(dir + "/series.json"), nullptr, false);
}

int lines(const std::string& path) {
  return static_cast<int>(std::ranges::count(readFile(path), '\n'));
}

class RefereeMpi : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(KELP_MPIEXEC) || !KELP_REFEREE_MPI) {
      GTEST_SKIP() << "needs mpirun (openmpi-bin, from scripts/setup) and KELP_MPI=ON";
    }
  }
};

TEST_F(RefereeMpi, ADecidedTestStopsEveryRank) {
  // Equal engines against H1 = +400: H0 is accepted after a few games.
  const std::string dir = outDir("referee-mpi/sprt");
  const std::string engine = FAKE + " --script ok --counter " + dir + "-engines";  // this run's
  const std::string settings = fmt::format(
      "--games 60 --seed 5 --throws 4 --sprt 0 400 --alpha 0.2 --beta 0.2 '{0}' '{0}' --out ",
      engine);
  const Outcome r = mpirun(3, settings + dir);
  ASSERT_EQ(r.status, 0) << r.out;
  const json s = seriesOf(dir);
  EXPECT_EQ(s["sprt"]["decision"], "accept H0") << r.out;
  // One process decides after the same game.
  const std::string single = outDir("referee-mpi/sprt-single");
  ASSERT_EQ(referee(settings + single).status, 0);
  EXPECT_EQ(seriesOf(single)["sprt"], s["sprt"]);
  // Three ranks of one slot hold at most two games each: the window is 6.
  const int decided = s["sprt"]["decided_after"], played = s["games_played"];
  EXPECT_TRUE(decided < 60 && played >= decided && played <= decided + 5) << s;
  // Neither a rank nor an engine of this run is left.
  for (const auto& p : fs::directory_iterator("/proc")) {
    const std::string cmdline = readFile(p.path().string() + "/cmdline");
    EXPECT_EQ(cmdline.find(dir), std::string::npos) << "still running: " << p.path();
  }
}

TEST_F(RefereeMpi, AKilledSeriesResumesOverThreeRanksToTheSameFigures) {
  const std::string baseline = outDir("referee-mpi/baseline"), dir = outDir("referee-mpi/killed");
  const Outcome whole = referee(seriesArgs(baseline));
  ASSERT_EQ(whole.status, 0) << whole.out;
  // Killed in one process once two games are kept. Engines that think a
  // little keep the series from ending before the kill on a fast machine;
  // they reply the same.
  int kept = 0;
  {
    ChildProcess killed(REFEREE, words(seriesArgs(dir, " --think 0.2")));
    for (int i = 0; i < 6000 && kept < 2; ++i) {
      std::this_thread::sleep_for(milliseconds(100));
      kept = lines(dir + "/games.jsonl");
    }
    ::kill(killed.pid(), SIGKILL);
    killed.wait(LONG);
  }
  ASSERT_GE(kept, 2);
  ASSERT_LT(lines(dir + "/games.jsonl"), 6) << "the series ended before it was killed";
  EXPECT_FALSE(fs::exists(dir + "/series.json"));

  // Resumed over three ranks: the other ranks play the games that are left
  // and send their whole folders; the figures and records are those of the
  // uninterrupted series; resuming again plays nothing more.
  const Outcome r = mpirun(3, "--resume " + dir);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(r.out.find("resuming the series in " + dir) != std::string::npos &&
              r.out.find("ranks: 0 games came") == std::string::npos)
      << r.out;
  const Outcome again = referee("--resume " + dir);
  EXPECT_TRUE(again.status == 0 && again.out.find("6 of 6 games kept") != std::string::npos)
      << again.out;
  EXPECT_EQ(lines(dir + "/games.jsonl"), 6) << "each game kept once";
  const json a = seriesOf(dir), b = seriesOf(baseline);
  for (const char* key : {"games", "wins", "draws", "losses", "elo", "elo_low", "elo_high",
                          "points_a", "points_b", "forfeits", "seed"}) {
    EXPECT_EQ(a[key], b[key]) << key;
  }
  for (int g = 1; g <= 6; ++g) {
    const std::string game = fmt::format("/game-{:03}/", g);
    const std::string record = readFile(dir + game + "record.jsonl");
    EXPECT_TRUE(!record.empty() && record == readFile(baseline + game + "record.jsonl")) << game;
    // Standard output and error interleave in the log as they come.
    EXPECT_EQ(readFile(dir + game + "engine-b.log").size(),
              readFile(baseline + game + "engine-b.log").size());
    for (const char* f : {"match.log", "engine-a.log", "engine-a", "engine-b"})
      EXPECT_TRUE(fs::exists(dir + game + f)) << game << f;
  }
  // A folder with no series, or a series given other settings, is refused.
  EXPECT_EQ(referee("--resume " + dir + "/game-001").status, 2);
  EXPECT_EQ(referee("--resume " + dir + " --games 4").status, 2);
}

}  // namespace
