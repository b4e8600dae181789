#include "referee/match.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "kelpsimulator/primitive.h"

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string FAKE = KELP_SOURCE_DIR "/tests/referee/fake_engine.py";

std::string freshDir(const std::string& name) {
  const std::string dir = KELP_BINARY_DIR "/test-output/referee-match/" + name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::vector<std::string> fake(const std::string& script, const std::string& recordFile = "") {
  std::vector<std::string> words = {"python3", FAKE, "--script", script};
  if (!recordFile.empty()) {
    words.push_back("--record");
    words.push_back(recordFile);
  }
  return words;
}

MatchConfig config(const std::string& dir, std::vector<std::string> a, std::vector<std::string> b) {
  MatchConfig c;
  c.commands = {std::move(a), std::move(b)};
  c.outDir = dir;
  c.seed = 12345;
  c.pictures = false;
  c.exitGrace = 1.0;
  return c;
}

std::vector<json> readRecord(const std::string& dir) {
  std::ifstream in(dir + "/record.jsonl");
  std::vector<json> out;
  for (std::string line; std::getline(in, line);) out.push_back(json::parse(line));
  return out;
}

// The reads an engine received, one per line as the fake recorded them.
std::vector<std::string> readsOf(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);)
    out.push_back(json::parse(line).get<std::string>());
  return out;
}

std::vector<std::string> words(const std::string& message) {
  std::vector<std::string> w;
  std::istringstream in(message);
  for (std::string s; std::getline(in, s, ' ');) w.push_back(s);
  return w;
}

TEST(Match, EveryMessageArrivesAloneAndInTheServersOrder) {
  const std::string dir = freshDir("framing");
  const std::string readsA = dir + "/reads-a.txt";
  const std::string readsB = dir + "/reads-b.txt";
  // A draws to the tee, B draws wide and short: A scores end 0 and so throws first
  // in end 1.
  MatchConfig c = config(dir, fake("ok", readsA), fake("draw:1.6:-5.0", readsB));
  c.ends = 2;
  Match match(c, nullptr);
  const MatchResult result = match.run();
  EXPECT_TRUE(result.completed);
  EXPECT_TRUE(result.faults.empty());
  EXPECT_EQ(exitStatus(result), 0);
  EXPECT_EQ(result.throws, 32);

  const std::vector<json> rec = readRecord(dir);
  ASSERT_EQ(rec.size(), 32u);
  ASSERT_EQ(result.ends.size(), 2u);
  EXPECT_EQ(result.ends[0].side, SIDE_A) << "the tee draws beat the short guards";
  EXPECT_EQ(rec[16]["engine"], "A") << "the scorer of end 0 throws first in end 1";
  EXPECT_EQ(rec[15]["end_score"]["engine"], "A");
  EXPECT_EQ(rec[15]["end_score"]["points"], result.ends[0].points);

  const std::array<std::string, 2> files = {readsA, readsB};
  for (int side = 0; side < 2; ++side) {
    const std::vector<std::string> reads = readsOf(files[side]);
    std::size_t i = 0;
    auto next = [&]() -> std::string { return i < reads.size() ? reads[i++] : "<nothing>"; };
    EXPECT_EQ(next(), "ISREADY");
    EXPECT_EQ(next(), "NEWGAME");
    int firstSide = SIDE_A;
    for (int end = 0; end < 2; ++end) {
      for (int shot = 0; shot < 16; ++shot) {
        const json& r = rec[end * 16 + shot];
        if (shot == 0) firstSide = r["engine"] == "A" ? SIDE_A : SIDE_B;
        EXPECT_EQ(next(), setStateMessage(shot, end, 2, colorOf(firstSide, side)));
        // POSITION carries the stones as the previous throw left them, in
        // the record frame, with (0, 0) for stones not in play.
        const std::vector<std::string> pos = words(next());
        ASSERT_EQ(pos.size(), 33u);
        EXPECT_EQ(pos[0], "POSITION");
        for (int k = 0; k < 16; ++k) {
          const float x = std::strtof(pos[1 + 2 * k].c_str(), nullptr);
          const float y = std::strtof(pos[2 + 2 * k].c_str(), nullptr);
          const json& before = shot == 0 ? json(nullptr) : rec[end * 16 + shot - 1]["stones"][k];
          if (before.is_null()) {
            EXPECT_EQ(x, 0.0f);
            EXPECT_EQ(y, 0.0f);
          } else {
            EXPECT_FLOAT_EQ(x, before[0].get<double>() + 2.375);
            EXPECT_FLOAT_EQ(y, 4.88 - before[1].get<double>());
          }
        }
        if (r["engine"] == SIDE_NAME[side]) {
          EXPECT_EQ(next(), "GO") << end << " " << shot;
        }
      }
      const int score =
          result.ends[end].side == SIDE_B ? -result.ends[end].points : result.ends[end].points;
      EXPECT_EQ(next(), scoreMessage(score));
    }
    EXPECT_EQ(next(), totalScoreMessage(result.total[0], result.total[1]));
    EXPECT_EQ(next(), "GAMEOVER");
    EXPECT_EQ(i, reads.size()) << "nothing after GAMEOVER";
  }
}

TEST(Match, EngineFaultsAreRecordedAndTheMatchGoesOn) {
  const std::string dir = freshDir("faults");
  // A: garbage, then fine. B: late, then fine (its late reply must not be
  // taken for the next one), then it exits.
  MatchConfig c = config(dir, fake("garbage,ok"), fake("late:1.5,ok,exit"));
  c.timeout = 1.0;
  c.maxThrows = 8;
  Match match(c, nullptr);
  const MatchResult result = match.run();
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(exitStatus(result), 1);

  const std::vector<json> rec = readRecord(dir);
  ASSERT_EQ(rec.size(), 8u);
  const char* expected[8] = {"malformed", "late", "ok", "ok", "ok", "dead", "ok", "dead"};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(rec[k]["status"], expected[k]) << "shot " << k;
    EXPECT_EQ(rec[k]["thrown"].is_null(), rec[k]["status"] != "ok") << "shot " << k;
    // A lost turn is a stone thrown out of play.
    if (rec[k]["status"] != "ok") {
      EXPECT_TRUE(rec[k]["stones"][k].is_null()) << "shot " << k;
    }
  }
  EXPECT_EQ(rec[0]["reply"].get<std::string>().rfind("BESTSHOT left", 0), 0u);
  EXPECT_TRUE(rec[1]["reply"].is_null());
  EXPECT_TRUE(rec[5]["reply"].is_null());
  EXPECT_FALSE(rec[3]["stones"][3].is_null()) << "B's second reply was its own";
  EXPECT_EQ(result.forfeits[SIDE_A], 1);
  EXPECT_EQ(result.forfeits[SIDE_B], 3);
  ASSERT_EQ(result.faults.size(), 3u) << "an engine's death is one fault";
  EXPECT_EQ(result.faults[2].side, SIDE_B);
  EXPECT_EQ(result.faults[2].shot, 5);
}

TEST(Match, EnginesThatNeverAnswerOrNeverStartCostOnlyTheirTurns) {
  const std::string dir = freshDir("silent");
  MatchConfig c = config(dir, fake("hang"), {"/nonexistent/engine"});
  c.timeout = 0.3;
  c.maxThrows = 4;
  c.exitGrace = 0.3;
  const auto start = std::chrono::steady_clock::now();
  Match match(c, nullptr);
  const MatchResult result = match.run();
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(result.completed);
  const std::vector<json> rec = readRecord(dir);
  ASSERT_EQ(rec.size(), 4u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(rec[k]["status"], k % 2 == 0 ? "late" : "dead");
  EXPECT_LT(took, 5.0) << "a hung engine costs its timeouts and the exit grace, no more";
  EXPECT_EQ(result.forfeits[SIDE_A], 2);
  EXPECT_EQ(result.ends.at(0).side, -1);

  // An engine that never gets ready is stopped before the game.
  const std::string dir2 = freshDir("not-ready");
  std::vector<std::string> notReady = fake("ok");
  notReady.push_back("--no-ready");
  MatchConfig c2 = config(dir2, notReady, fake("ok"));
  c2.readyTimeout = 0.3;
  c2.maxThrows = 2;
  Match match2(c2, nullptr);
  const MatchResult r2 = match2.run();
  EXPECT_TRUE(r2.completed);
  const std::vector<json> rec2 = readRecord(dir2);
  ASSERT_EQ(rec2.size(), 2u);
  EXPECT_EQ(rec2[0]["status"], "dead");
  EXPECT_EQ(rec2[1]["status"], "ok");
}

TEST(Match, TheSameSeedAndRepliesGiveTheSameRecord) {
  std::array<std::string, 3> records;
  const uint32_t seeds[3] = {99, 99, 100};
  for (int run = 0; run < 3; ++run) {
    const std::string dir = freshDir("replay-" + std::to_string(run));
    MatchConfig c = config(dir, fake("ok,draw:0.5:-1.0"), fake("draw:-0.4:0.3,ok"));
    c.seed = seeds[run];
    c.maxThrows = 6;
    Match match(c, nullptr);
    EXPECT_EQ(exitStatus(match.run()), 0);
    std::ifstream in(dir + "/record.jsonl");
    records[run] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_FALSE(records[0].empty());
  EXPECT_EQ(records[0], records[1]);
  EXPECT_NE(records[0], records[2]) << "the seed drives the execution error";
}

// A match owns its engines, random engine and folder: matches running at
// once write exactly what they write alone.
TEST(Match, ConcurrentMatchesDoNotDisturbEachOther) {
  auto play = [](const std::string& name, uint32_t seed) {
    const std::string dir = freshDir(name);
    MatchConfig c = config(dir, fake("ok,draw:0.4:-0.5"), fake("draw:-0.3:0.2,ok"));
    c.seed = seed;
    c.maxThrows = 6;
    Match match(c, nullptr);
    const MatchResult r = match.run();
    EXPECT_EQ(exitStatus(r), 0) << name;
    std::ifstream in(dir + "/record.jsonl");
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string alone1 = play("alone-1", 1);
  const std::string alone2 = play("alone-2", 2);
  std::string together1;
  std::string together2;
  std::thread t1([&] { together1 = play("together-1", 1); });
  std::thread t2([&] { together2 = play("together-2", 2); });
  t1.join();
  t2.join();
  EXPECT_EQ(together1, alone1);
  EXPECT_EQ(together2, alone2);
  EXPECT_NE(alone1, alone2);
}

TEST(Match, TheTeeDrawSentInTheRecordFrameComesToRestNearTheTee) {
  const std::string dir = freshDir("tee-draw");
  MatchConfig c = config(dir, fake("ok"), fake("draw:0.0:-5.0"));
  c.executionError = false;
  c.maxThrows = 1;
  Match match(c, nullptr);
  EXPECT_EQ(exitStatus(match.run()), 0);
  const std::vector<json> rec = readRecord(dir);
  ASSERT_EQ(rec.size(), 1u);
  EXPECT_EQ(rec[0]["error"]["vx"], 0.0);
  EXPECT_GT(rec[0]["thrown"]["vy"].get<double>(), 29.0) << "record-frame vy is negated";
  const json& stone = rec[0]["stones"][0];
  ASSERT_FALSE(stone.is_null());
  EXPECT_LT(std::hypot(stone[0].get<double>(), stone[1].get<double>()), 0.3);
}

}  // namespace
}  // namespace Kelp::Referee
