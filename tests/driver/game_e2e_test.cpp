// Plays games against the built kelp and kelp-strong (each of its searches)
// over their pipes, as a match server does:
// one write per message, waiting for the reply where one is due. Every GO
// reply is checked against the candidate shots of the position it was asked
// on, computed here in-process from the same record. Messages that print
// nothing end with a zero byte, so that two of them in one read are still
// taken one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kelpsimulator/field.h"
#include "kelpsimulator/thinkboard.h"
#include "kelpsimulator/trajectory.h"
#include "player/MonteCarlo.h"
#include "player/curling.h"
#include "support/process.h"
#include "support/tempdir.h"
#include "support/text.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using KelpTest::ChildProcess;
using KelpTest::TempDir;
using std::chrono::milliseconds;

constexpr milliseconds TIMEOUT{5000};
constexpr milliseconds THINK_TIMEOUT{60000};
const std::string HEADER =
    "Count : Size : ShontNumber : Type : playout_sum : Rate : win : playout ";

std::tm localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return t;
}

// An engine as the tests start it: kelp-strong searches briefly where the
// test does not need the full time; the log folder carries the player's name.
struct Engine {
  const char* name;  // test-name suffix
  const char* binary;
  std::vector<std::string> args;
  const char* logDir;
  double minSeconds;  // a GO answers no sooner than this
};

const Engine ENGINES[] = {
    {"kelp", "kelp", {}, "Pebble_original_log", 4.5},
    {"strong", "kelp-strong", {"--think-ms", "300"}, "Kelp_strong_log", 0.3},
    {"faithful",
     "kelp-strong",
     {"--search", "faithful", "--think-ms", "300"},
     "Pebble_original_log",
     0.3},
    {"greedy", "kelp-strong", {"--search", "greedy"}, "Kelp_greedy_log", 0.0},
};

class Game : public ::testing::TestWithParam<Engine> {
 protected:
  const Engine& engine() const { return GetParam(); }
  ChildProcess start(const TempDir& dir) const {
    return ChildProcess(std::string(KELP_BINARY_DIR "/") + engine().binary, engine().args,
                        dir.str());
  }
};

INSTANTIATE_TEST_SUITE_P(Engines, Game, ::testing::ValuesIn(ENGINES),
                         [](const auto& info) { return std::string(info.param.name); });

// The log directory's name for the current minute, local time, month from 0.
std::string stampNow() {
  const std::tm t = localNow();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d-%d-%d-%d-%d", t.tm_year + 1900, t.tm_mon, t.tm_mday, t.tm_hour,
                t.tm_min);
  return buf;
}

// A time zone fourteen hours ahead of UTC for this process and the kelp it
// starts, so that a log directory named in UTC shows; the old zone comes
// back at the end.
class FarTimeZone {
 public:
  FarTimeZone() {
    if (const char* tz = std::getenv("TZ")) old_ = tz;
    ::setenv("TZ", "UTC-14", 1);
    ::tzset();
  }
  ~FarTimeZone() {
    if (old_) {
      ::setenv("TZ", old_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> old_;
};

// Sleeps past the end of the minute when fewer than ten seconds of it are left.
void waitForFreshMinute() {
  const std::tm t = localNow();
  if (t.tm_sec >= 50) std::this_thread::sleep_for(std::chrono::seconds(61 - t.tm_sec));
}

bool isOneLine(const std::string& s) {
  return !s.empty() && s.find('\n') == s.size() - 1;
}

std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  return out;
}

// How many descriptors of the process are open on a file named shot.txt.
int openLogFiles(pid_t pid) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    const fs::path target = fs::read_symlink(e.path(), ec);
    if (!ec && target.filename() == "shot.txt") ++n;
  }
  return n;
}

void expectCleanExit(ChildProcess& kelp) {
  const auto status = kelp.wait(TIMEOUT);
  EXPECT_TRUE(status && status->exited && status->code == 0);
}

std::string bestShot(double vx, double vy, int spin) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "BESTSHOT %f %f %d", vx, vy, spin);
  return buf;
}

// A record as SETSTATE and POSITION leave it, and the messages that make it.
struct Record {
  int shot, end, last_end, color;
  std::array<std::pair<const char*, const char*>, 16> stones{};  // record frame; null = "0"

  std::string setState() const {
    return "SETSTATE " + std::to_string(shot) + " " + std::to_string(end) + " " +
           std::to_string(last_end) + " " + std::to_string(color) + "\0"s;
  }
  std::string position() const {
    std::string m = "POSITION";
    for (const auto& [x, y] : stones) m += " "s + (x ? x : "0") + " " + (y ? y : "0");
    return m + "\0"s;
  }
  Kelp::ClientField field() const {
    Kelp::ClientField f;
    f.setState(shot, end, last_end, color);
    for (int k = 0; k < 16; ++k) {
      const auto& [x, y] = stones[k];
      f.setPosition(k, std::strtof(x ? x : "0", nullptr), std::strtof(y ? y : "0", nullptr));
    }
    return f;
  }
};

// Candidate shot vectors read the trajectory tables.
void ensureTables() {
  static const bool built = (Kelp::buildTables(), true);
  (void)built;
}

// The candidate shots of the record's position: reply text and label.
std::vector<std::pair<std::string, std::string>> candidateReplies(const Record& r) {
  ensureTables();
  std::vector<Tree> nodes;
  CurlingGameState(Kelp::ThinkBoard(r.field())).getCandidates(nodes);
  std::vector<std::pair<std::string, std::string>> out;
  for (const Tree& t : nodes) {
    const CurlingMoveState& m = t.move.move_state;
    out.emplace_back(bestShot(m.vx, -m.vy, m.spin), m.label);
  }
  return out;
}

struct GoAnswer {
  std::string diagnostics;  // everything before the reply
  std::string reply;
  double seconds = 0;
};

GoAnswer askGo(ChildProcess& kelp) {
  GoAnswer a;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(kelp.send("GO"));
  const auto upto = kelp.readUntil("BESTSHOT ", THINK_TIMEOUT);
  a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!upto) {
    ADD_FAILURE() << "no BESTSHOT";
    return a;
  }
  a.diagnostics = upto->substr(0, upto->size() - 9);
  // The reply is one write: all of it is there once its first bytes are.
  a.reply = "BESTSHOT " + kelp.readAvailable(milliseconds(300));
  return a;
}

// The GO diagnostic line: a comma, then Count, Size, shot, label, mean, sum,
// playouts.
void expectGoLine(const std::string& line, const Record& r, const GoAnswer& a, double minSeconds) {
  ASSERT_TRUE(line.size() > 2 && line.front() == ',' && line.back() == '\n') << line;
  const std::vector<std::string> f = KelpTest::split(line.substr(1, line.size() - 2), ',');
  ASSERT_EQ(f.size(), 7u) << line;
  for (int i : {0, 1, 6}) EXPECT_TRUE(KelpTest::isInteger(f[i])) << line;
  for (int i : {4, 5}) EXPECT_TRUE(KelpTest::isDefaultDouble(f[i])) << line;
  const auto candidates = candidateReplies(r);
  EXPECT_EQ(f[1], std::to_string(candidates.size())) << "Size is the number of candidates";
  EXPECT_EQ(f[2], std::to_string(r.shot));
  EXPECT_GE(std::stoul(f[0]), std::stoul(f[6])) << "a child has no more playouts than the root";
  bool found = false;
  for (const auto& [reply, label] : candidates) found |= reply == a.reply && label == f[3];
  EXPECT_TRUE(found) << a.reply << " (" << f[3] << ") is not a candidate of shot " << r.shot;
  // The search runs its full time before it answers.
  std::printf("GO at shot %d answered in %.3f s: %s\n", r.shot, a.seconds, a.reply.c_str());
  EXPECT_GE(a.seconds, minSeconds);
}

TEST_P(Game, ScriptedGameOverThePipes) {
  const FarTimeZone zone;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  ASSERT_NE(localNow().tm_hour, utc.tm_hour) << "local time must differ from UTC here";
  TempDir dir;
  ChildProcess kelp = start(dir);
  const fs::path logs = dir.path() / engine().logDir;

  const std::string before = stampNow();
  ASSERT_TRUE(kelp.send("ISREADY"));
  EXPECT_EQ(kelp.readExactly(7, TIMEOUT), "READYOK");
  const std::string after = stampNow();
  // No line end after the reply, and the header waits in the buffer.
  EXPECT_EQ(kelp.readAvailable(milliseconds(300)), "");
  ASSERT_TRUE(fs::is_directory(logs));
  const auto stamps = entries(logs);
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_TRUE(stamps[0] == before || stamps[0] == after) << stamps[0];
  const fs::path shotLog = logs / stamps[0] / "shot.txt";
  EXPECT_TRUE(fs::is_regular_file(shotLog));
  EXPECT_EQ(openLogFiles(kelp.pid()), 1);

  ASSERT_TRUE(kelp.send("NEWGAME\0"s));
  Record first{0, 0, 2, 0, {}};
  ASSERT_TRUE(kelp.send(first.setState()));
  ASSERT_TRUE(kelp.send(first.position()));
  GoAnswer a = askGo(kelp);
  // The header's closing space is followed directly by the line's comma.
  ASSERT_EQ(HEADER.size(), 71u);
  ASSERT_EQ(a.diagnostics.substr(0, 71), HEADER);
  expectGoLine(a.diagnostics.substr(71), first, a, engine().minSeconds);

  // Mid-end, both colours in play; asked twice on the unchanged record.
  const Record mid{
      5, 0, 2, 1, {{{"2.375", "4.5"}, {"2.6", "5.2"}, {"2.3", "8.0"}, {"1.9", "4.2"}}}};
  ASSERT_TRUE(kelp.send(mid.setState()));
  ASSERT_TRUE(kelp.send(mid.position()));
  for (int i = 0; i < 2; ++i) {
    a = askGo(kelp);
    expectGoLine(a.diagnostics, mid, a, engine().minSeconds);
  }

  ASSERT_TRUE(kelp.send("SCORE 1\0TOTALSCORE 1 0\0"s));
  ASSERT_TRUE(kelp.send("GAMEOVER\0"s));
  ASSERT_TRUE(kelp.send("GAMEOVER\0"s));
  // Nothing printed by any of them (the unknown word shows they were taken);
  // the file was closed by the first.
  ASSERT_TRUE(kelp.send("FOO"));
  EXPECT_EQ(kelp.readExactly(27, TIMEOUT), "illegal command FOO \n \nFOO\n");
  EXPECT_EQ(kelp.readAvailable(milliseconds(200)), "");
  EXPECT_EQ(openLogFiles(kelp.pid()), 0);
  EXPECT_EQ(fs::file_size(shotLog), 0u);

  // A second ISREADY: within the same minute it finds its directory and
  // opens nothing; in a later one it starts a new directory.
  const std::string again = stampNow();
  ASSERT_TRUE(kelp.send("ISREADY"));
  EXPECT_EQ(kelp.readExactly(7, TIMEOUT), "READYOK");
  const bool sameMinute = again == stamps[0] && stampNow() == again;
  EXPECT_EQ(entries(logs).size(), sameMinute ? 1u : 2u);
  EXPECT_EQ(openLogFiles(kelp.pid()), sameMinute ? 0 : 1);

  // The second header is still buffered; it comes out when kelp ends.
  kelp.closeStdin();
  EXPECT_EQ(kelp.readAll(TIMEOUT), HEADER);
  expectCleanExit(kelp);
  EXPECT_EQ(kelp.stderrText(), "");
}

TEST_P(Game, SecondIsReadyInTheSameMinuteOpensNothing) {
  TempDir dir;
  ChildProcess kelp = start(dir);
  waitForFreshMinute();
  ASSERT_TRUE(kelp.send("ISREADY"));
  ASSERT_EQ(kelp.readExactly(7, TIMEOUT), "READYOK");
  const fs::path logs = dir.path() / engine().logDir;
  const fs::path shotLog = logs / entries(logs).at(0) / "shot.txt";
  // Reopening with "w+" would empty the file again.
  KelpTest::writeFile(shotLog, "kept");
  ASSERT_TRUE(kelp.send("ISREADY"));
  EXPECT_EQ(kelp.readExactly(7, TIMEOUT), "READYOK");
  EXPECT_EQ(KelpTest::readFile(shotLog), "kept");
  EXPECT_EQ(entries(logs).size(), 1u);
  EXPECT_EQ(openLogFiles(kelp.pid()), 1);
}

// What the server never sends, or a sheet that cannot be written: kelp says
// so in one line and still answers every request.
TEST_P(Game, FaultsStillGetAnAnswer) {
  TempDir dir;
  // A regular file where the log directory would go: nothing can be made below it.
  KelpTest::writeFile(dir.path() / engine().logDir, "");
  ChildProcess kelp = start(dir);
  ASSERT_TRUE(kelp.send("ISREADY"));
  EXPECT_EQ(kelp.readExactly(7, TIMEOUT), "READYOK");
  EXPECT_EQ(kelp.readAvailable(milliseconds(300)), "");
  const std::string err = kelp.stderrText();
  EXPECT_TRUE(isOneLine(err)) << err;
  EXPECT_NE(err.find(engine().logDir), std::string::npos) << err;
  EXPECT_TRUE(fs::is_regular_file(dir.path() / engine().logDir));

  // The fallback reply: the draw to the tee, spin 0, vy in the record frame.
  ensureTables();
  const CurlingMoveState tee(0.0f, 0.0f, "TEE2", false, SHOT_DRAW);
  const std::string teeReply = bestShot(tee.vx, -tee.vy, 0);

  // Shot 2 allows one stone of each colour.
  const Record bad{
      2,
      0,
      8,
      0,
      {{{"2.375", "4.88"}, {"2.0", "5.0"}, {"2.6", "5.5"}, {"2.9", "4.0"}, {"1.8", "6.0"}}}};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"SETSTATE 16 0 8 0\0"s, "illegal shot number( 16 )"},
      {"SETSTATE -1 0 8 0\0"s, "illegal shot number( -1 )"},
      {bad.setState() + bad.position(), "illegal number of stones( BLACK3t14 )"},
  };
  for (const auto& [messages, problem] : cases) {
    ASSERT_TRUE(kelp.send(messages));
    const GoAnswer a = askGo(kelp);
    // The first GO's line follows the header (checked in the scripted game).
    const bool header = a.diagnostics.rfind(HEADER, 0) == 0;
    const std::string line = a.diagnostics.substr(header ? HEADER.size() : 0);
    EXPECT_TRUE(isOneLine(line)) << line;
    EXPECT_NE(line.find(problem), std::string::npos) << line;
    EXPECT_EQ(a.reply, teeReply);
    EXPECT_LT(a.seconds, 4.0) << "no search on a record that makes no board";
  }
  // Still running and reading.
  ASSERT_TRUE(kelp.send("FOO"));
  EXPECT_EQ(kelp.readExactly(27, TIMEOUT), "illegal command FOO \n \nFOO\n");
  kelp.closeStdin();
  expectCleanExit(kelp);
  EXPECT_EQ(kelp.stderrText(), err) << "only the log failure went to standard error";
}

// A match server starts kelp-strong without arguments: it then takes kelp's
// full time.
TEST(StrongGame, WithoutArgumentsItThinksTheFullTime) {
  TempDir dir;
  ChildProcess kelp(KELP_BINARY_DIR "/kelp-strong", {}, dir.str());
  ASSERT_TRUE(kelp.send("ISREADY"));
  ASSERT_EQ(kelp.readExactly(7, TIMEOUT), "READYOK");
  const Record mid{
      5, 0, 2, 1, {{{"2.375", "4.5"}, {"2.6", "5.2"}, {"2.3", "8.0"}, {"1.9", "4.2"}}}};
  ASSERT_TRUE(kelp.send(mid.setState()));
  ASSERT_TRUE(kelp.send(mid.position()));
  const GoAnswer a = askGo(kelp);
  ASSERT_EQ(a.diagnostics.substr(0, HEADER.size()), HEADER);
  expectGoLine(a.diagnostics.substr(HEADER.size()), mid, a, 4.5);
  kelp.closeStdin();
  expectCleanExit(kelp);
  EXPECT_EQ(kelp.stderrText(), "");
}

}  // namespace
