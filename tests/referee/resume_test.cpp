// What a series keeps in its folder to go on after a crash, and the packed
// game folders that travel between MPI ranks.
#include "referee/resume.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "referee/folder_pack.h"
#include "support/tempdir.h"

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;

using KelpTest::readFile;
using KelpTest::writeFile;

TEST(Resume, AFolderTravelsWholeAndCannotWriteOutsideItsPlace) {
  KelpTest::TempDir tmp;
  const fs::path from = tmp.path() / "from";
  writeFile(from / "record.jsonl", "{}\n");
  writeFile(from / "engine-a" / "log" / "0.txt", std::string("a\0b", 3));
  fs::create_directories(from / "engine-b");
  std::string why;
  const auto packed = packFolder(from.string(), why);
  ASSERT_TRUE(packed) << why;
  const fs::path to = tmp.path() / "to";
  writeFile(to / "stale.txt", "from a game that was cut short");
  ASSERT_TRUE(unpackFolder(*packed, to.string(), why)) << why;
  EXPECT_EQ(readFile(to / "record.jsonl"), "{}\n");
  EXPECT_EQ(readFile(to / "engine-a" / "log" / "0.txt"), std::string("a\0b", 3));
  EXPECT_TRUE(fs::is_directory(to / "engine-b") && !fs::exists(to / "stale.txt"));

  // A damaged or hostile packet: paths leaving the folder, cut sizes.
  const auto entry = [](const std::string& path) {
    const uint64_t size = path.size();
    return "f" + std::string(reinterpret_cast<const char*>(&size), 8) + path +
           std::string("\1\0\0\0\0\0\0\0", 8) + "x";
  };
  ASSERT_TRUE(unpackFolder(entry("ok.txt"), to.string(), why)) << why;
  EXPECT_EQ(readFile(to / "ok.txt"), "x");
  for (const std::string& bad : {entry("../escape.txt"), entry("/tmp/abs.txt"), entry("a/../../b"),
                                 packed->substr(0, packed->size() - 1), std::string("z")}) {
    EXPECT_FALSE(unpackFolder(bad, to.string(), why)) << bad;
  }
  EXPECT_FALSE(fs::exists(tmp.path() / "escape.txt"));
}

TEST(Resume, TheFolderHoldsWhatTheSeriesNeedsToGoOn) {
  KelpTest::TempDir tmp;
  SeriesConfig c;
  c.match.commands[0] = {"python3", "engine.py", "--fast"};
  c.match.commands[1] = {"./kelp"};
  c.match.names = {"engine.py", "kelp"};
  c.match.outDir = (tmp.path() / "series").string();
  c.match.ends = 3;
  c.match.maxThrows = 5;
  c.match.pictures = false;
  c.games = 7;
  c.concurrency = 2;
  c.seed = 4000000000u;
  c.sprt = SprtSettings{-5.0, 10.0, 0.1, 0.2};
  std::string why;
  ASSERT_TRUE(startSeriesFolder(c, why)) << why;

  // Games 1 and 3 finished; game 2 was running (its folder half written);
  // the referee died while writing game 4's line.
  // number, seed, aFirst, ends, total, result, forfeit, faults, error, interrupted
  const std::vector<EndScore> ends = {{SIDE_B, 2}, {-1, 0}, {SIDE_A, 1}};
  const GameResult g1(1, pairSeed(c.seed, 0), true, ends, std::array{1, 2}, -1, FORFEIT_NONE,
                      std::array{0, 0}, "", false);
  GameResult g3(3, pairSeed(c.seed, 2), true, ends, std::array{1, 2}, 1, SIDE_B, std::array{0, 2},
                "", false);
  for (const GameResult& g : {g1, g3}) ASSERT_TRUE(GameJournal(c.match.outDir).append(g));
  std::ofstream(c.match.outDir + "/games.jsonl", std::ios::app) << R"({"game":4,"se)";
  for (const char* game : {"game-001", "game-002", "game-003"}) {
    writeFile(fs::path(c.match.outDir) / game / "record.jsonl", "{}\n");
  }

  const ResumedSeries r = resumeSeries(c.match.outDir);
  ASSERT_TRUE(r.error.empty()) << r.error;
  EXPECT_EQ(settingsJson(r.config), settingsJson(c));
  ASSERT_EQ(r.played.size(), 2u);
  EXPECT_EQ(gameJson(r.played[0]), gameJson(g1));
  EXPECT_EQ(gameJson(r.played[1]), gameJson(g3));
  EXPECT_TRUE(fs::exists(c.match.outDir + "/game-001"));
  EXPECT_FALSE(fs::exists(c.match.outDir + "/game-002")) << "to be played again";
  EXPECT_TRUE(fs::exists(c.match.outDir + "/game-003"));

  // A game that is not this series' (another seed) is not taken for one.
  g3.number = 5;
  GameJournal(c.match.outDir).append(g3);
  EXPECT_NE(resumeSeries(c.match.outDir).error, "");
  EXPECT_NE(resumeSeries((tmp.path() / "nothing").string()).error, "");
}

}  // namespace
}  // namespace Kelp::Referee
