#include "referee/match.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "referee_run.h"

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
using KelpTest::jsonLines;
using nlohmann::json;

const std::string FAKE = KELP_SOURCE_DIR "/tests/referee/fake_engine.py";

std::vector<std::string> fake(const std::string& script, const std::string& reads = "") {
  std::vector<std::string> w = {"python3", FAKE, "--script", script};
  if (!reads.empty()) w.insert(w.end(), {"--record", reads});
  return w;
}

MatchConfig config(const std::string& name, std::vector<std::string> a, std::vector<std::string> b,
                   int maxThrows = -1) {
  MatchConfig c;
  c.outDir = KELP_BINARY_DIR "/test-output/referee-match/" + name;
  fs::remove_all(c.outDir);
  fs::create_directories(c.outDir);
  c.commands = {std::move(a), std::move(b)};
  c.seed = 12345;
  c.pictures = false;
  c.exitGrace = 1.0;
  c.maxThrows = maxThrows;
  return c;
}

MatchResult play(const MatchConfig& c, std::ostream* progress = nullptr) {
  Match match(c, progress);
  return match.run();
}

TEST(Match, EveryMessageArrivesAloneAndInTheServersOrder) {
  // A draws to the tee, B wide and short: A scores end 0, so it throws first
  // in end 1 too.
  MatchConfig c = config("framing", {}, {});
  const std::array<std::string, 2> reads = {c.outDir + "/reads-a", c.outDir + "/reads-b"};
  c.commands = {fake("ok", reads[0]), fake("draw:1.6:-5.0", reads[1])};
  c.ends = 2;
  const MatchResult result = play(c);
  EXPECT_EQ(exitStatus(result), 0);
  const std::vector<json> rec = jsonLines(c.outDir + "/record.jsonl");
  ASSERT_EQ(rec.size(), 32u);
  ASSERT_EQ(result.ends.size(), 2u);
  EXPECT_EQ(result.ends[0].side, SIDE_A);
  EXPECT_EQ(rec[15]["end_score"]["points"], result.ends[0].points);
  EXPECT_EQ(rec[16]["engine"], "A") << "the scorer of end 0 throws first in end 1";

  // What each engine read, one entry per read, and nothing after GAMEOVER.
  for (int side = 0; side < 2; ++side) {
    json expected = {"ISREADY", "NEWGAME"};
    for (int t = 0; t < 32; ++t) {
      const int end = t / 16, shot = t % 16;
      const int first = rec[end * 16]["engine"] == "A" ? SIDE_A : SIDE_B;
      EXPECT_TRUE(rec[t]["end"] == end && rec[t]["shot"] == shot) << t << ": as in SETSTATE";
      expected.push_back(setStateMessage(shot, end, 2, colorOf(first, side)));
      // The stones as the previous throw left them, in the record frame.
      RecordPositions before{};
      for (int k = 0; k < 16 && shot > 0; ++k) {
        const json& s = rec[t - 1]["stones"][k];
        if (!s.is_null())
          before[k] = {float(s[0].get<double>() + 2.375), float(4.88f - s[1].get<double>())};
      }
      expected.push_back(positionMessage(before));
      if (rec[t]["engine"] == SIDE_NAME[side]) expected.push_back("GO");
      const EndScore& e = result.ends[end];
      if (shot == 15) expected.push_back(scoreMessage(e.side == SIDE_B ? -e.points : e.points));
    }
    expected.push_back(totalScoreMessage(result.total[0], result.total[1]));
    expected.push_back("GAMEOVER");
    EXPECT_EQ(json(jsonLines(reads[side])), expected) << "engine " << SIDE_NAME[side];
  }
}

TEST(Match, EngineFaultsAreRecordedAndTheMatchGoesOn) {
  // A: garbage, then fine. B: late (its late reply must not be taken for the
  // next one), then fine, then it exits.
  MatchConfig c = config("faults", fake("garbage,ok"), fake("late:6,ok,exit"));
  // Margins of 2 s each way, so a loaded machine cannot make a prompt reply
  // late or the late one prompt: the late reply comes 2 s after its
  // deadline, and B's next GO, which waits for it, 2 s before its own.
  c.timeout = 4.0;
  c.maxThrows = 8;
  const MatchResult result = play(c);
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(exitStatus(result), 1);
  const std::vector<json> rec = jsonLines(c.outDir + "/record.jsonl");
  ASSERT_EQ(rec.size(), 8u);
  const char* expected[8] = {"malformed", "late", "ok", "ok", "ok", "dead", "ok", "dead"};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(rec[k]["status"], expected[k]) << k;
    // A lost turn is a stone thrown out of play.
    const bool lost = rec[k]["status"] != "ok";
    EXPECT_TRUE(rec[k]["thrown"].is_null() == lost && rec[k]["stones"][k].is_null() == lost) << k;
  }
  EXPECT_EQ(rec[0]["reply"].get<std::string>().rfind("BESTSHOT left", 0), 0u);
  EXPECT_TRUE(rec[1]["reply"].is_null());
  EXPECT_EQ(result.forfeits, (std::array<int, 2>{1, 3}));
  ASSERT_EQ(result.faults.size(), 3u) << "an engine's death is one fault";
  EXPECT_EQ(result.faults[2].shot, 5);
}

TEST(Match, EnginesThatNeverAnswerNeverStartOrNeverGetReadyCostOnlyTheirTurns) {
  const struct {
    std::vector<std::string> a, b;
    const char *statusA, *statusB;
  } cases[] = {{fake("hang"), {"/nonexistent/engine"}, "late", "dead"},
               {{"python3", FAKE, "--script", "ok", "--no-ready"}, fake("ok"), "dead", "ok"},
               {{"true"}, fake("ok"), "dead", "ok"}};  // exits before reading anything
  for (const auto& k : cases) {
    MatchConfig c = config("silent", k.a, k.b, 4);
    // Only the hung engine may be late, however slowly Python starts and
    // answers on a loaded machine.
    c.timeout = 2.0;
    c.exitGrace = 0.3;
    // Long enough for Python to start on a loaded machine; only the engine
    // that never gets ready should miss it.
    c.readyTimeout = 5.0;
    const auto start = std::chrono::steady_clock::now();
    const MatchResult result = play(c);
    // A hung engine costs its timeouts and the exit grace, not the match:
    // the bound is loose so that a loaded machine cannot fail it.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30.0)
        << "a hung engine costs its timeouts and the exit grace, no more";
    EXPECT_TRUE(result.completed);
    const std::vector<json> rec = jsonLines(c.outDir + "/record.jsonl");
    ASSERT_EQ(rec.size(), 4u);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(rec[t]["status"], t % 2 ? k.statusB : k.statusA) << t;
  }
}

// Hostile engines as A against a sound B: what A's turns become, and that
// nothing A started outlives the match.
TEST(Match, HostileEnginesAreReadStrictlyAndEndedWithEverythingTheyStarted) {
  const struct {
    const char* name;
    std::vector<std::string> a;  // "--pids FILE" is added
    std::vector<std::string> status;
    int exit;  // -1: either
  } cases[] = {
      // A line starting with 1 just after the reply cannot make it spin 1
      // (when a loaded referee reads both at once, the reply is malformed).
      {"tail", fake("tail"), {"ok|malformed", "ok|malformed", "ok|malformed"}, -1},
      // Each GO answered twice: the second answer never counts for a later GO.
      {"twice", fake("twice"), {"ok", "ok", "ok"}, 0},
      // Its child keeps the pipes and ignores SIGTERM: dead all the same.
      {"fork-and-exit", fake("forkexit"), {"dead", "dead"}, 1},
      // Behind a shell that does not exec, never reading, ignoring SIGTERM.
      {"wrapped-hang",
       {"sh", "-c", "python3 " + FAKE + " --script hang --ignore-term --pids \"$1\"; true"},
       {"late", "late"},
       1},
  };
  for (const auto& k : cases) {
    MatchConfig c = config(std::string("hostile-") + k.name, k.a, fake("ok"),
                           2 * static_cast<int>(k.status.size()));
    const std::string pids = c.outDir + "/pids";
    c.commands[0].insert(c.commands[0].end(), {"--pids", pids});  // "$0" and "$1" for sh
    // Long enough for a sound reply from Python on a loaded machine; the
    // missing spin and the hung engine cost it once per turn.
    c.timeout = 5.0;
    c.exitGrace = 0.5;
    const MatchResult result = play(c);
    EXPECT_TRUE(k.exit < 0 || exitStatus(result) == k.exit) << k.name;
    const std::vector<json> rec = jsonLines(c.outDir + "/record.jsonl");
    ASSERT_EQ(rec.size(), 2 * k.status.size()) << k.name;
    for (std::size_t t = 0; t < k.status.size(); ++t) {
      const json& r = rec[2 * t];
      EXPECT_NE(("|" + k.status[t] + "|").find("|" + r["status"].get<std::string>() + "|"),
                std::string::npos)
          << k.name << " turn " << t << ": " << r["status"];
      if (r["status"] == "ok") {
        EXPECT_EQ(r["thrown"]["spin"], 0) << k.name;
        EXPECT_EQ(r["reply"], rec[0]["reply"]) << k.name << ": the tee draw every time";
      }
    }
    const std::vector<pid_t> started = KelpTest::pidsIn(pids);
    EXPECT_GE(started.size(), 1u) << k.name;
    for (pid_t pid : started) EXPECT_FALSE(KelpTest::running(pid)) << k.name << " pid " << pid;
  }
  EXPECT_NE(
      KelpTest::readFile(KELP_BINARY_DIR "/test-output/referee-match/hostile-twice/engine-a.log")
          .find("unasked reply dropped"),
      std::string::npos);
}

TEST(Match, APictureThatCannotBeWrittenIsReportedAndTheMatchGoesOn) {
  MatchConfig c = config("picture", fake("ok"), fake("ok"), 1);
  c.pictures = true;
  fs::create_directory(c.outDir + "/end00-shot00.svg");  // a folder where the picture goes
  std::ostringstream progress;
  EXPECT_EQ(exitStatus(play(c, &progress)), 0);
  EXPECT_NE(progress.str().find("cannot write picture " + c.outDir + "/end00-shot00.svg\n"),
            std::string::npos)
      << progress.str();
  EXPECT_TRUE(fs::exists(c.outDir + "/end00.svg"));
  EXPECT_EQ(jsonLines(c.outDir + "/record.jsonl").size(), 1u);
}

}  // namespace
}  // namespace Kelp::Referee
