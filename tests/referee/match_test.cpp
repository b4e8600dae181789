#include "referee/match.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "referee_run.h"

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
using KelpTest::jsonLines;
using nlohmann::json;

std::vector<std::string> fake(const std::string& script, const std::string& more = "") {
  return KelpTest::words(KelpTest::FAKE + " --script " + script + more);
}

MatchConfig config(const std::string& name, std::vector<std::string> a, std::vector<std::string> b,
                   int maxThrows = -1) {
  MatchConfig c;
  c.outDir = KelpTest::outDir("referee-match/" + name);
  fs::create_directories(c.outDir);
  c.commands = {std::move(a), std::move(b)};
  c.seed = 12345;
  c.pictures = false;
  c.exitGrace = 1.0;
  c.maxThrows = maxThrows;
  return c;
}

TEST(Match, EveryMessageArrivesAloneAndInTheServersOrder) {
  // A draws to the tee, B wide and short: A scores end 0, so it throws first
  // in end 1 too.
  MatchConfig c = config("framing", {}, {});
  const std::array<std::string, 2> reads = {c.outDir + "/reads-a", c.outDir + "/reads-b"};
  c.commands = {fake("ok", " --record " + reads[0]),
                fake("draw:1.6:-5.0", " --record " + reads[1])};
  c.ends = 2;
  const MatchResult result = Match(c, nullptr).run();
  EXPECT_EQ(exitStatus(result), 0);
  const std::vector<json> rec = jsonLines(c.outDir + "/record.jsonl");
  ASSERT_TRUE(rec.size() == 32u && result.ends.size() == 2u);
  EXPECT_TRUE(result.ends[0].side == SIDE_A &&
              rec[15]["end_score"]["points"] == result.ends[0].points);
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
  const MatchResult result = Match(c, nullptr).run();
  EXPECT_TRUE(result.completed && exitStatus(result) == 1);
  const std::vector<json> rec = jsonLines(c.outDir + "/record.jsonl");
  ASSERT_EQ(rec.size(), 8u);
  const char* expected[8] = {"malformed", "late", "ok", "ok", "ok", "dead", "ok", "dead"};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(rec[k]["status"], expected[k]) << k;
    // A lost turn is a stone thrown out of play.
    const bool lost = rec[k]["status"] != "ok";
    EXPECT_TRUE(rec[k]["thrown"].is_null() == lost && rec[k]["stones"][k].is_null() == lost) << k;
  }
  EXPECT_TRUE(rec[0]["reply"].get<std::string>().rfind("BESTSHOT left", 0) == 0 &&
              rec[1]["reply"].is_null());
  EXPECT_EQ(result.forfeits, (std::array<int, 2>{1, 3}));
  ASSERT_EQ(result.faults.size(), 3u) << "an engine's death is one fault";
  EXPECT_EQ(result.faults[2].shot, 5);
}

// Silent and hostile engines as A against a sound B: what A's turns become,
// that they cost only their turns, and that nothing A started outlives the
// match.
TEST(Match, SilentAndHostileEnginesCostTheirTurnsAndAreEndedWithAllTheyStarted) {
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
       {"sh", "-c", KelpTest::FAKE + " --script hang --ignore-term --pids \"$1\"; true"},
       {"late", "late"},
       1},
      {"missing", {"/nonexistent/engine"}, {"dead", "dead"}, 1},
      {"never-ready", fake("ok", " --no-ready"), {"dead", "dead"}, 1},
      {"exits-at-once", {"true"}, {"dead", "dead"}, 1},  // before reading anything
  };
  for (const auto& k : cases) {
    MatchConfig c = config(std::string("hostile-") + k.name, k.a, fake("ok"),
                           2 * static_cast<int>(k.status.size()));
    const std::string pids = c.outDir + "/pids";
    c.commands[0].insert(c.commands[0].end(), {"--pids", pids});  // "$0" and "$1" for sh
    // Long enough for Python to start and reply on a loaded machine (a
    // start-up past 5 s has been seen with a dozen builds running); the
    // missing spin and the hung engine cost the timeout once per turn, the
    // engine that never gets ready the ready timeout once.
    c.timeout = 5.0;
    c.readyTimeout = 15.0;
    c.exitGrace = 0.5;
    const auto start = std::chrono::steady_clock::now();
    const MatchResult result = Match(c, nullptr).run();
    // Loose, so that a loaded machine cannot fail it.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 40.0)
        << k.name << ": a silent engine costs its timeouts and the exit grace, no more";
    EXPECT_TRUE(result.completed && (k.exit < 0 || exitStatus(result) == k.exit)) << k.name;
    const std::vector<json> rec = jsonLines(c.outDir + "/record.jsonl");
    ASSERT_EQ(rec.size(), 2 * k.status.size()) << k.name;
    for (std::size_t t = 0; t < k.status.size(); ++t) {
      const json& r = rec[2 * t];
      EXPECT_NE(("|" + k.status[t] + "|").find("|" + r["status"].get<std::string>() + "|"),
                std::string::npos)
          << k.name << " turn " << t << ": " << r["status"];
      EXPECT_EQ(rec[2 * t + 1]["status"], "ok") << k.name << ": B plays on";
      if (r["status"] == "ok") {
        EXPECT_EQ(r["thrown"]["spin"], 0) << k.name;
        // The shot's velocity; the line may carry the tail that the engine
        // wrote after its spin, when both writes are read at once.
        auto shot = [](const json& x) {
          const std::string line = x["reply"].get<std::string>();
          return line.substr(0, line.rfind(' '));
        };
        EXPECT_EQ(shot(r), shot(rec[0])) << k.name << ": the tee draw every time";
      }
    }
    const std::vector<pid_t> started = KelpTest::pidsIn(pids);
    // Only the fake engine (directly or behind the shell) lists its pid.
    EXPECT_EQ(started.empty(), k.a.size() == 1) << k.name;
    for (pid_t pid : started) EXPECT_FALSE(KelpTest::running(pid)) << k.name << " pid " << pid;
  }
  EXPECT_NE(
      KelpTest::readFile(KELP_BINARY_DIR "/test-output/referee-match/hostile-twice/engine-a.log")
          .find("unasked reply dropped"),
      std::string::npos);
}

}  // namespace
}  // namespace Kelp::Referee
