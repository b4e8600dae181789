// Plays games against the built kelp and kelp-strong (each of its searches)
// over their pipes, as a match server does: one write per message, waiting
// for the reply where one is due. Every GO reply is checked against the
// candidate shots of the position it was asked on, computed here in-process
// from the same messages. Messages that print nothing end with a zero byte,
// so that two of them in one read are still taken one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "driver/command_table.h"
#include "player/curling.h"
#include "support/process.h"
#include "support/tables.h"  // candidate shot vectors read the trajectory tables
#include "support/tempdir.h"
#include "support/text.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using KelpTest::ChildProcess;
using KelpTest::exchange;
using KelpTest::TempDir;
using std::chrono::milliseconds;

constexpr milliseconds TIMEOUT{5000};
const std::string HEADER =
    "Count : Size : ShontNumber : Type : playout_sum : Rate : win : playout ";
const std::string FOO_REPLY = "illegal command FOO \n \nFOO\n";

// An engine as the tests start it: kelp-strong searches briefly where the
// test does not need the full time; the log folder carries the player's name.
struct Engine {
  const char* name;  // test-name suffix
  const char* binary;
  const char* args;  // separated by spaces
  const char* logDir;
  double minSeconds;  // a GO answers no sooner than this
};

const Engine ENGINES[] = {
    {"kelp", "kelp", "", "Pebble_original_log", 4.5},
    {"strong", "kelp-strong", "--think-ms 300", "Kelp_strong_log", 0.3},
    {"faithful", "kelp-strong", "--search faithful --think-ms 300", "Pebble_original_log", 0.3},
    {"greedy", "kelp-strong", "--search greedy", "Kelp_greedy_log", 0.0},
};

ChildProcess start(const Engine& e, const TempDir& dir) {
  return ChildProcess(std::string(KELP_BINARY_DIR "/") + e.binary, KelpTest::split(e.args, ' '),
                      dir.str());
}

class Game : public ::testing::TestWithParam<Engine> {};
INSTANTIATE_TEST_SUITE_P(Engines, Game, ::testing::ValuesIn(ENGINES),
                         [](const auto& info) { return std::string(info.param.name); });

bool isOneLine(const std::string& s) {
  return !s.empty() && s.find('\n') == s.size() - 1;
}

// The log folder's name for the minute `ahead` seconds from now, local time,
// month from 0.
std::string stampNow(int ahead = 0) {
  const std::time_t now = std::time(nullptr) + ahead;
  std::tm t{};
  localtime_r(&now, &t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d-%d-%d-%d-%d", t.tm_year + 1900, t.tm_mon, t.tm_mday, t.tm_hour,
                t.tm_min);
  return buf;
}

// How many descriptors of the process are open on a file named shot.txt.
int openLogFiles(pid_t pid) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
    n += fs::read_symlink(e.path(), ec).filename() == "shot.txt" && !ec;
  return n;
}

// The reply for a shot: the shot vector in the record frame. std::to_string
// writes a double as "%f" does.
std::string bestShot(const CurlingMoveState& m) {
  return "BESTSHOT " + std::to_string(m.vx) + " " + std::to_string(-m.vy) + " " +
         std::to_string(m.spin);
}

using KelpTest::record;

const auto MID = record("5 0 2 1", {"2.375", "4.5", "2.6", "5.2", "2.3", "8.0", "1.9", "4.2"});

// The candidate shots of the record's position, as "reply (label)".
std::vector<std::string> candidates(const std::string& record) {
  Kelp::ClientField f;
  for (const std::string& m : KelpTest::split(record, '\0'))
    Kelp::dispatchMessage(m, Kelp::COMMAND_TABLE, f);
  std::vector<Tree> nodes;
  CurlingGameState(Kelp::ThinkBoard(f)).getCandidates(nodes);
  std::vector<std::string> out;
  for (const Tree& t : nodes)
    out.push_back(bestShot(t.move.move_state) + " (" + t.move.move_state.label + ")");
  return out;
}

// Asks GO: what came before the reply, the reply, and the seconds it took.
std::tuple<std::string, std::string, double> askGo(ChildProcess& kelp) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(kelp.send("GO"));
  const std::string upto = kelp.readUntil("BESTSHOT ", milliseconds(60000)).value_or("none");
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  // The reply is one write: all of it is there once its first bytes are.
  return {upto.substr(0, upto.size() - 9), "BESTSHOT " + kelp.readAvailable(milliseconds(300)),
          took.count()};
}

// Asks GO on the record and checks the diagnostic line that follows the
// given headers: a comma, then Count, Size, shot, label, mean, sum, playouts.
void expectGo(ChildProcess& kelp, const std::string& r, const std::string& headers,
              double minSeconds) {
  KelpTest::sendEach(kelp, r);
  const auto [line, reply, seconds] = askGo(kelp);
  ASSERT_EQ(line.substr(0, headers.size() + 1), headers + ",");
  const std::vector<std::string> f = KelpTest::split(line.substr(headers.size() + 1), ',');
  ASSERT_EQ(f.size(), 7u) << line;
  EXPECT_TRUE(isOneLine(f[6]) && KelpTest::isDefaultDouble(f[4]) && KelpTest::isDefaultDouble(f[5]))
      << line;
  const std::vector<std::string> c = candidates(r);
  // Size is the number of candidates.
  EXPECT_EQ(std::tie(f[1], f[2]),
            std::tuple(std::to_string(c.size()), r.substr(9, r.find(' ', 9) - 9)));
  EXPECT_GE(std::stoul(f[0]), std::stoul(f[6])) << "a child has no more playouts than the root";
  EXPECT_NE(std::find(c.begin(), c.end(), reply + " (" + f[3] + ")"), c.end())
      << reply << " (" << f[3] << ") is not a candidate";
  EXPECT_GE(seconds, minSeconds) << "the search runs its full time before it answers";
}

TEST_P(Game, ScriptedGameOverThePipes) {
  // A time zone fourteen hours ahead of UTC for this process and the kelp
  // it starts, so that a log folder named in UTC shows.
  ::setenv("TZ", "UTC-14", 1);
  ::tzset();
  TempDir dir;
  ChildProcess kelp = start(GetParam(), dir);
  const fs::path logs = dir.path() / GetParam().logDir;

  // Both ISREADYs within one minute: wait for one with ten seconds left.
  while (stampNow() != stampNow(10)) std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::string stamp = stampNow();
  exchange(kelp, "ISREADY", "READYOK");
  // No line end after the reply, and the header waits in the buffer.
  EXPECT_EQ(kelp.readAvailable(milliseconds(300)), "");
  const fs::path shotLog = logs / stamp / "shot.txt";
  ASSERT_TRUE(fs::exists(shotLog)) << "the folder is named after the local minute";
  EXPECT_EQ(std::distance(fs::directory_iterator(logs), fs::directory_iterator()), 1);
  EXPECT_EQ(openLogFiles(kelp.pid()), 1);
  // A second ISREADY in the same minute finds its folder and opens nothing
  // (reopening with "w+" would empty the file again).
  KelpTest::writeFile(shotLog, "kept");
  exchange(kelp, "ISREADY", "READYOK");
  EXPECT_EQ(openLogFiles(kelp.pid()), 1);

  ASSERT_TRUE(kelp.send("NEWGAME\0"s));
  // A header per ISREADY; its closing space is followed directly by the comma.
  expectGo(kelp, record("0 0 2 0"), HEADER + HEADER, GetParam().minSeconds);
  // Mid-end, both colours in play; asked twice on the unchanged record.
  for (int i = 0; i < 2; ++i) expectGo(kelp, MID, "", GetParam().minSeconds);

  KelpTest::sendEach(kelp, "SCORE 1\0TOTALSCORE 1 0\0GAMEOVER\0GAMEOVER\0"s);
  // Nothing printed by any of them (the unknown word shows they were taken);
  // the file was closed by the first, never written.
  exchange(kelp, "FOO", FOO_REPLY);
  EXPECT_EQ(openLogFiles(kelp.pid()), 0);
  EXPECT_EQ(KelpTest::readFile(shotLog), "kept");
  exchange(kelp, "ISREADY", "READYOK");
  // The third header is still buffered; it comes out when kelp ends.
  EXPECT_EQ(KelpTest::expectCleanEnd(kelp, TIMEOUT), HEADER);
}

// What the server never sends, or a sheet that cannot be written: kelp says
// so in one line and still answers every request.
TEST_P(Game, FaultsStillGetAnAnswer) {
  TempDir dir;
  // A regular file where the log folder would go: nothing can be made below it.
  KelpTest::writeFile(dir.path() / GetParam().logDir, "");
  ChildProcess kelp = start(GetParam(), dir);
  exchange(kelp, "ISREADY", "READYOK");
  // Nothing more on standard output; the wait lets standard error arrive.
  EXPECT_EQ(kelp.readAvailable(milliseconds(300)), "");
  const std::string err = kelp.stderrText();
  EXPECT_TRUE(isOneLine(err)) << err;
  EXPECT_NE(err.find(GetParam().logDir), std::string::npos) << err;

  // The fallback reply: the draw to the tee, spin 0, vy in the record frame.
  const CurlingMoveState tee(0.0f, 0.0f, "TEE2", false, SHOT_DRAW);
  const std::pair<std::string, std::string> cases[] = {
      {"SETSTATE 16 0 8 0\0"s, "illegal shot number( 16 )"},
      {"SETSTATE -1 0 8 0\0"s, "illegal shot number( -1 )"},
      // Shot 2 allows one stone of each colour.
      {record("2 0 8 0", {"2.375", "4.88", "2.0", "5.0", "2.6", "5.5", "2.9", "4.0", "1.8", "6.0"}),
       "illegal number of stones( BLACK3t14 )"},
  };
  for (const auto& [messages, problem] : cases) {
    KelpTest::sendEach(kelp, messages);
    const auto [before, reply, seconds] = askGo(kelp);
    // The first GO's line follows the header.
    const std::string line = before.substr(before.rfind(HEADER, 0) == 0 ? HEADER.size() : 0);
    EXPECT_TRUE(isOneLine(line)) << line;
    EXPECT_NE(line.find(problem), std::string::npos) << line;
    EXPECT_EQ(reply, bestShot(tee));
    EXPECT_LT(seconds, 4.0) << "no search on a record that makes no board";
  }
  // Still running and reading; only the log failure went to standard error.
  exchange(kelp, "FOO", FOO_REPLY);
  EXPECT_EQ(KelpTest::expectCleanEnd(kelp, TIMEOUT, err), "");
}

// A match server starts kelp-strong without arguments: it then takes kelp's
// full time.
TEST(StrongGame, WithoutArgumentsItThinksTheFullTime) {
  TempDir dir;
  ChildProcess kelp = start({"", "kelp-strong", "", "", 0.0}, dir);
  exchange(kelp, "ISREADY", "READYOK");
  expectGo(kelp, MID, HEADER, 4.5);
  EXPECT_EQ(KelpTest::expectCleanEnd(kelp, TIMEOUT), "");
}

}  // namespace
