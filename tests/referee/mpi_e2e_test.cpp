// kelp-referee's series spread over MPI ranks on this machine, and a series
// continued with --resume after its referee was killed. Every run is
// compared with one uninterrupted series in a single process.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using KelpTest::ChildProcess;
using nlohmann::json;
using std::chrono::milliseconds;

const std::string REFEREE = KELP_BINARY_DIR "/kelp-referee";
const std::string FAKE = "python3 " KELP_SOURCE_DIR "/tests/referee/fake_engine.py";
const milliseconds LONG{600'000};  // only a hung run reaches it

std::string outDir(const std::string& name) {
  const std::string dir = KELP_BINARY_DIR "/test-output/referee-mpi/" + name;
  fs::remove_all(dir);
  fs::create_directories(fs::path(dir).parent_path());
  return dir;
}

// Six games of four throws each, one engine drawing to the tee and the other
// past it: every game is scored, the engines are deterministic.
std::vector<std::string> seriesArgs(const std::string& dir, const std::string& extra = "") {
  return {"--games",
          "6",
          "--seed",
          "5",
          "--throws",
          "4",
          "--out",
          dir,
          FAKE + " --script ok" + extra,
          FAKE + " --script draw:0.5:3" + extra};
}

std::vector<std::string> mpirun(int ranks, std::vector<std::string> args) {
  std::vector<std::string> all = {"--oversubscribe", "--allow-run-as-root", "-n",
                                  std::to_string(ranks), REFEREE};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome run(const std::string& program, const std::vector<std::string>& args) {
  ChildProcess p(program, args);
  Outcome r;
  r.out = p.readAll(LONG).value_or("(no end of output)");
  const auto s = p.wait(LONG);
  r.status = s && s->exited ? s->code : -1;
  r.out += p.stderrText();
  return r;
}

json seriesOf(const std::string& dir) {
  std::ifstream in(dir + "/series.json");
  return json::parse(in, nullptr, false);
}

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int lines(const std::string& path) {
  const std::string text = fileText(path);
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The same figures and the same game records as the uninterrupted series.
void expectSameSeries(const std::string& dir, const std::string& baseline) {
  json a = seriesOf(dir), b = seriesOf(baseline);
  ASSERT_FALSE(a.is_discarded()) << dir;
  for (const char* key : {"games", "wins", "draws", "losses", "elo", "elo_low", "elo_high",
                          "points_a", "points_b", "forfeits", "seed"}) {
    EXPECT_EQ(a[key], b[key]) << dir << ": " << key;
  }
  for (int g = 1; g <= 6; ++g) {
    const std::string rec = fmt::format("/game-{:03}/record.jsonl", g);
    EXPECT_EQ(fileText(dir + rec), fileText(baseline + rec)) << dir << rec;
    EXPECT_FALSE(fileText(dir + rec).empty());
  }
}

class RefereeMpi : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(KELP_MPIEXEC)) return;
    baseline_ = outDir("baseline");
    std::vector<std::string> args = seriesArgs(baseline_);
    args.insert(args.begin(), {"--concurrency", "2"});
    const Outcome r = run(REFEREE, args);
    ASSERT_EQ(r.status, 0) << r.out;
  }
  void SetUp() override {
    if (!fs::exists(KELP_MPIEXEC)) {
      GTEST_SKIP() << "mpirun is not installed (scripts/setup installs openmpi-bin)";
    }
    if (!KELP_REFEREE_MPI) GTEST_SKIP() << "kelp-referee was built without MPI (KELP_MPI=OFF)";
  }
  static std::string baseline_;
};
std::string RefereeMpi::baseline_;

TEST_F(RefereeMpi, ThreeRanksPlayTheSeriesOfOneProcess) {
  const std::string dir = outDir("three-ranks");
  const Outcome r = run(KELP_MPIEXEC, mpirun(3, seriesArgs(dir)));
  ASSERT_EQ(r.status, 0) << r.out;
  expectSameSeries(dir, baseline_);
  // The other ranks played some of the games, and sent their whole folders.
  EXPECT_EQ(r.out.find("ranks: 0 games came"), std::string::npos) << r.out;
  for (int g = 1; g <= 6; ++g) {
    const std::string game = fmt::format("{}/game-{:03}", dir, g);
    for (const char* f : {"match.log", "engine-a.log", "engine-b.log", "engine-a", "engine-b"}) {
      EXPECT_TRUE(fs::exists(game + "/" + f)) << game << "/" << f;
    }
    EXPECT_EQ(fileText(game + "/engine-b.log"),
              fileText(fmt::format("{}/game-{:03}/engine-b.log", baseline_, g)));
  }
  EXPECT_EQ(lines(dir + "/games.jsonl"), 6);
}

TEST_F(RefereeMpi, ADecidedTestStopsEveryRank) {
  // Equal engines against H1 = +400: H0 is accepted after a few games.
  const std::string dir = outDir("sprt");
  const std::string tag = " --counter " + dir + "-engines";  // marks this run's engines
  std::vector<std::string> args = {"--games",
                                   "60",
                                   "--seed",
                                   "5",
                                   "--throws",
                                   "4",
                                   "--sprt",
                                   "0",
                                   "400",
                                   "--alpha",
                                   "0.2",
                                   "--beta",
                                   "0.2",
                                   "--out",
                                   dir,
                                   FAKE + " --script ok" + tag,
                                   FAKE + " --script ok" + tag};
  const Outcome r = run(KELP_MPIEXEC, mpirun(3, args));
  ASSERT_EQ(r.status, 0) << r.out;
  const json s = seriesOf(dir);
  ASSERT_FALSE(s.is_discarded());
  EXPECT_EQ(s["sprt"]["decision"], "accept H0") << r.out;
  const int decided = s["sprt"]["decided_after"].get<int>();
  // One process decides after the same game.
  const std::string single = outDir("sprt-single");
  args[std::find(args.begin(), args.end(), dir) - args.begin()] = single;
  ASSERT_EQ(run(REFEREE, args).status, 0);
  EXPECT_EQ(seriesOf(single)["sprt"], s["sprt"]);
  EXPECT_LT(decided, 60);
  // Three ranks of one slot hold at most two games each: the window is 6.
  EXPECT_GE(s["games_played"].get<int>(), decided);
  EXPECT_LE(s["games_played"].get<int>(), decided + 5);
  // Neither a rank nor an engine of this run is left.
  for (const auto& p : fs::directory_iterator("/proc")) {
    const std::string cmdline = fileText(p.path().string() + "/cmdline");
    EXPECT_EQ(cmdline.find(dir), std::string::npos) << "still running: " << p.path();
  }
}

TEST_F(RefereeMpi, AKilledSeriesResumesToTheSameFigures) {
  // Killed in one process once two games are kept, resumed over three ranks.
  // Engines that think a little keep the series from ending before the kill
  // on a fast machine; they reply the same.
  const std::string dir = outDir("killed");
  std::vector<std::string> args = seriesArgs(dir, " --think 0.2");
  args.insert(args.begin(), {"--concurrency", "2"});
  int kept = 0;
  {
    ChildProcess referee(REFEREE, args);
    for (int i = 0; i < 6000 && kept < 2; ++i) {
      std::this_thread::sleep_for(milliseconds(100));
      kept = lines(dir + "/games.jsonl");
    }
    ::kill(referee.pid(), SIGKILL);
    referee.wait(LONG);
  }
  ASSERT_GE(kept, 2);
  ASSERT_LT(lines(dir + "/games.jsonl"), 6) << "the series ended before it was killed";
  EXPECT_FALSE(fs::exists(dir + "/series.json"));

  const Outcome r = run(KELP_MPIEXEC, mpirun(3, {"--resume", dir}));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(fmt::format("resuming the series in {}", dir)), std::string::npos) << r.out;
  expectSameSeries(dir, baseline_);
  EXPECT_EQ(lines(dir + "/games.jsonl"), 6) << "each game kept once";

  // Resuming a finished series plays nothing more; a folder with no series
  // is refused.
  const Outcome again = run(REFEREE, {"--resume", dir});
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find("6 of 6 games kept"), std::string::npos) << again.out;
  expectSameSeries(dir, baseline_);
  EXPECT_EQ(run(REFEREE, {"--resume", dir + "/game-001"}).status, 2);
  EXPECT_EQ(run(REFEREE, {"--resume", dir, "--games", "4"}).status, 2);
}

}  // namespace
