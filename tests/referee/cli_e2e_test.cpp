// The kelp-referee program as a user runs it.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "referee/outdir.h"
#include "referee_run.h"

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
using namespace KelpTest;
using nlohmann::json;

// The referee's output to its end, and how it ended.
std::pair<std::string, ExitStatus> finish(ChildProcess& p) {
  return {p.readAll(LONG).value_or(""), p.wait(LONG).value_or(ExitStatus{})};
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

void expectHas(const std::string& text, std::initializer_list<const char*> parts) {
  for (const char* part : parts) EXPECT_TRUE(has(text, part)) << part << "\n" << text;
}

TEST(RefereeCli, HelpAndBadOptions) {
  const Outcome help = referee("--help");
  EXPECT_EQ(help.status, 0);
  expectHas(help.out, {"--ends", "--seed", "--timeout", "--out", "--throws", "CMD_A", "--games",
                       "--concurrency", "halves", "--sprt", "--alpha", "--beta"});
  // Each rejected command line, separated by "|" (the first is empty).
  std::istringstream bads(
      "|onlyone|--ends 0 a b|--ends x a b|--timeout -1 a b|--seed -3 a b|--frobnicate a b|"
      "--throws -2 a b|'' b|'a \"unclosed' b|--timeout nan a b|--timeout 1e300 a b|"
      "--timeout inf a b|--timeout 0 a b|--timeout 2x a b|--ready-timeout nan a b|"
      "--ready-timeout 1e9 a b|--games 0 a b|--concurrency 2 a b|--sprt 0 5 a b|"
      "--games 4 --sprt 5 0 a b|--games 4 --sprt 0 a b|--games 4 --concurrency 0 a b|"
      "--games 4 --sprt 0 5 --alpha 0.6 --beta 0.5 a b");
  for (std::string bad; std::getline(bads, bad, '|');) {
    const Outcome r = referee(bad);
    EXPECT_TRUE(r.status == 2 && has(r.out, "Usage")) << bad << "\n" << r.out;
  }
}

TEST(RefereeCli, SeriesStopsOnTheSprtAndWritesItsFigures) {
  const std::string dir = outDir("referee-cli/series-sprt");
  const Outcome r = referee("--games 80 --seed 5 --sprt 0 200 --out " + dir + " '" + FAKE +
                            " --script ok' '" + FAKE + " --script draw:0.5:3'");
  EXPECT_EQ(r.status, 0) << r.out;
  expectHas(r.out, {"game   1/80  seed ", "A vs B after 10 games", "SPRT: H1 accepted after ",
                    "(replay with --seed 5)"});
  const json j = json::parse(readFile(dir + "/series.json"));
  const int played = j["games"].size();
  EXPECT_TRUE(played < 80 && j["sprt"]["decided_after"] == played &&
              j["sprt"]["decision"] == "accept H1")
      << j["sprt"];
  for (const char* f : {"series.html", "game-001/match.html", "game-001/record.jsonl",
                        "game-001/end00.svg", "game-001/match.log", "game-002/end00-shot15.svg"})
    EXPECT_TRUE(fs::exists(dir + "/" + f)) << f;
}

// A's forfeits are B's wins, told in words, with no number there is none of.
// Faults give exit status 1; a clock seed is printed, so that any series can
// be replayed.
TEST(RefereeCli, ASeriesOfForfeitsSaysSoInWordsAndWritesNoNumberItHasNot) {
  const std::string dir = outDir("referee-cli/series-dead");
  const Outcome r = referee("--games 3 --no-pictures --out " + dir + " '" + FAKE +
                            " --script exit' '" + FAKE + " --script ok'");
  EXPECT_EQ(r.status, 1) << r.out;
  expectHas(r.out, {"(replay with --seed ", "B won every game: no finite estimate",
                    "forfeited games (an engine at fault): 3 (by A 3, by B 0"});
  EXPECT_FALSE(has(r.out, "nan") || has(r.out, "inf")) << r.out;
  const json j = json::parse(readFile(dir + "/series.json"));
  EXPECT_EQ(json({j["losses"], j["score"], j["forfeits"], j["games"][2]["result"], j["elo"],
                  j["elo_low"], j["elo_high"]}),
            json::parse(R"([3, 0.0, 3, "loss", null, null, null])"));
}

// An output folder is the run's own: one with anything in it is refused
// untouched, and so is one that a running referee holds.
TEST(RefereeCli, AnOutputFolderIsNeverSharedOrReused) {
  const std::string dir = outDir("referee-cli/taken");
  fs::create_directories(dir);
  writeFile(dir + "/record.jsonl", "an earlier match\n");
  const Outcome used = referee("--throws 1 --out " + dir + " '" + FAKE + "' '" + FAKE + "'");
  EXPECT_TRUE(used.status == 2 && has(used.out, "not empty")) << used.out;
  EXPECT_TRUE(std::distance(fs::directory_iterator(dir), fs::directory_iterator()) == 1 &&
              readFile(dir + "/record.jsonl") == "an earlier match\n");

  // The first referee holds its folder for as long as it runs (its engine A
  // never reads again and ignores SIGTERM); a second one started meanwhile
  // is refused. SIGTERM ends the first in order, engine A included.
  const std::string held = outDir("referee-cli/held"), pids = held + "-pids";
  ChildProcess first(REFEREE, {"--throws", "2", "--timeout", "600", "--no-pictures", "--out", held,
                               FAKE + " --script hang --ignore-term --pids " + pids, FAKE});
  ASSERT_TRUE(first.readUntil("output " + held, LONG));
  for (int i = 0; i < 1200 && pidsIn(pids).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // Python starting
  }
  EXPECT_EQ(referee("--throws 1 --out " + held + " '" + FAKE + "' '" + FAKE + "'").status, 2);
  ::kill(first.pid(), SIGTERM);
  const auto [out, ended] = finish(first);
  EXPECT_EQ(ended.code, 128 + SIGTERM) << out;
  // The record is written whole, with the throws so far.
  EXPECT_TRUE(fs::exists(held + "/record.jsonl") && !fs::exists(held + "/record.jsonl.part"));
  ASSERT_EQ(pidsIn(pids).size(), 1u);
  EXPECT_FALSE(running(pidsIn(pids)[0]));
}

// A signal ends a series in order: no new game, every engine ended (A
// ignores SIGTERM), the games counted so far in series.json, marked
// interrupted, and a non-zero exit.
TEST(RefereeCli, ASignalEndsASeriesInOrder) {
  for (int sig : {SIGINT, SIGHUP}) {
    const std::string dir = outDir("referee-cli/series-signal-" + std::to_string(sig)),
                      pids = dir + "-pids";
    ChildProcess r(
        REFEREE, words(fmt::format("--games 40 --concurrency 2 --no-pictures --timeout 600 --seed "
                                   "3 --out {} '{} --ignore-term --pids {}' '{} --pids {}'",
                                   dir, FAKE, pids, FAKE, pids)));
    ASSERT_TRUE(r.readUntil("game   2/40", LONG));
    ::kill(r.pid(), sig);
    const auto [rest, ended] = finish(r);
    const std::string out = "game   2/40" + rest;
    EXPECT_TRUE(ended.code == 128 + sig && has(out, "series interrupted")) << out;
    const json j = json::parse(readFile(dir + "/series.json"));
    const int played = j["games"].size();
    EXPECT_TRUE(j["interrupted"] == true && played >= 2 && played < 40) << j;
    EXPECT_EQ(j["wins"].get<int>() + j["draws"].get<int>() + j["losses"].get<int>(), played);
    EXPECT_TRUE(has(out, fmt::format("game {:3}/40", played)) &&
                !has(out, fmt::format("game {:3}/40", played + 1)))
        << out;
    const std::vector<pid_t> started = pidsIn(pids);
    EXPECT_GE(started.size(), 2u * played);
    for (pid_t pid : started) EXPECT_FALSE(running(pid)) << "engine pid " << pid;
    EXPECT_FALSE(fs::exists(dir + "/" + std::string(LOCK_FILE))) << "the folder is released";
  }
}

// Whatever an engine prints, the referee's memory and the engine's log stay
// within fixed bounds.
TEST(RefereeCli, FloodsOfOutputKeepMemoryAndLogsBounded) {
  // A prints 8 MB of "BESTSHOT " tokens before each reply (the first is
  // taken: malformed), B 16 MB of junk after every POSITION.
  const std::string dir = outDir("referee-cli/flood");
  ChildProcess r(REFEREE, {"--throws", "4", "--timeout", "60", "--no-pictures", "--out", dir,
                           FAKE + " --script flood:BESTSHOT\\ :8", FAKE + " --position-flood 16"});
  const auto [out, ended] = finish(r);
  // A match of two quiet engines peaks near 15 MB; each engine may add
  // about 3 × 64 KB of kept output and a 64 KB read buffer (this match
  // peaked at 161 MB before the bounds).
  EXPECT_TRUE(ended.code == 1 && ended.peakKb < 40 * 1024) << ended.peakKb << " KB\n" << out;
  expectHas(out, {"1 end, seed ", "end 0 shot  1 B BESTSHOT", "result: A "});
  const std::vector<json> rec = jsonLines(dir + "/record.jsonl");
  ASSERT_EQ(rec.size(), 4u);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(rec[t]["status"], t % 2 ? "ok" : "malformed") << t;
  for (const char* log : {"/engine-a.log", "/engine-b.log"}) {
    // At most OUTPUT_KEPT per message (4 throws: fewer than 20 messages)
    // and a few notes each time.
    EXPECT_LT(fs::file_size(dir + log), 20 * (OUTPUT_KEPT + 1024)) << log;
  }
}

}  // namespace
}  // namespace Kelp::Referee
