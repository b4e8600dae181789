// The kelp-referee program as a user runs it.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "referee/outdir.h"
#include "referee/process.h"

extern char** environ;

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
const std::string REFEREE = KELP_BINARY_DIR "/kelp-referee";
const std::string FAKE = "python3 " KELP_SOURCE_DIR "/tests/referee/fake_engine.py";

struct Outcome {
  int status;
  std::string out;
};

Outcome run(const std::string& args) {
  const std::string cmd = REFEREE + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  const int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// The referee started without a shell, its output read as it comes: for
// signalling it midway, and for its peak memory (the kernel's high-water
// mark of its resident set, from wait4).
class Referee {
 public:
  explicit Referee(const std::vector<std::string>& args) {
    std::vector<std::string> words = {REFEREE};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int p[2];
    EXPECT_EQ(::pipe(p), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, p[1], 1);
    posix_spawn_file_actions_adddup2(&fa, p[1], 2);
    posix_spawn_file_actions_addclose(&fa, p[0]);
    EXPECT_EQ(::posix_spawn(&pid_, REFEREE.c_str(), &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    ::close(p[1]);
    out_ = p[0];
  }
  ~Referee() {
    // A test that gave up midway still ends the referee, in order.
    if (out_ >= 0) {
      ::kill(pid_, SIGTERM);
      finish();
    }
  }
  pid_t pid() const { return pid_; }
  // Reads until `text` has appeared (true) or the output ended.
  bool waitFor(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
      if (!readMore()) return false;
    }
    return true;
  }
  struct Ended {
    int status;  // exit status, or -1 when killed by a signal
    std::string out;
    long peakKb;
  };
  Ended finish() {
    while (readMore()) {
    }
    ::close(out_);
    out_ = -1;
    int status = 0;
    rusage use{};
    ::wait4(pid_, &status, 0, &use);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output_, use.ru_maxrss};
  }

 private:
  bool readMore() {
    char buf[4096];
    const ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) return false;
    output_.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

// Whether a process still runs (a zombie has ended; its parent reaps it).
bool running(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const std::size_t paren = line.rfind(')');
  return paren != std::string::npos && line.size() > paren + 2 && line[paren + 2] != 'Z';
}

std::vector<int> pidsIn(const std::string& file) {
  std::ifstream in(file);
  std::vector<int> pids;
  for (int pid; in >> pid;) pids.push_back(pid);
  return pids;
}

std::string slurp(const std::string& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string outDir(const std::string& name) {
  const std::string dir = KELP_BINARY_DIR "/test-output/referee-cli/" + name;
  fs::remove_all(dir);
  return dir;
}

TEST(RefereeCli, HelpAndBadOptions) {
  const Outcome help = run("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* opt : {"--ends", "--seed", "--timeout", "--out", "--throws", "CMD_A"}) {
    EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
  }
  for (const char* bad :
       {"", "onlyone", "--ends 0 a b", "--ends x a b", "--timeout -1 a b", "--seed -3 a b",
        "--frobnicate a b", "--throws -2 a b", "'' b", "'a \"unclosed' b", "--timeout nan a b",
        "--timeout 1e300 a b", "--timeout inf a b", "--timeout 0 a b", "--timeout 2x a b",
        "--ready-timeout nan a b", "--ready-timeout 1e9 a b"}) {
    const Outcome r = run(bad);
    EXPECT_EQ(r.status, 2) << bad << "\n" << r.out;
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << bad;
  }
}

TEST(RefereeCli, PlaysAMatchAndSaysHowToReplayIt) {
  const std::string dir = outDir("clean");
  const Outcome r = run("--seed 77 --throws 3 --out " + dir + " '" + FAKE + " --script ok' '" +
                        FAKE + " --script draw:0.5:0.5'");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("seed 77"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("end 0 shot  2 A BESTSHOT"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("result: A"), std::string::npos) << r.out;
  for (const char* f :
       {"record.jsonl", "end00.svg", "end00-shot02.svg", "engine-a.log", "engine-b.log"}) {
    EXPECT_TRUE(fs::exists(dir + "/" + f)) << f;
  }
  EXPECT_TRUE(fs::is_directory(dir + "/engine-a")) << "each engine has its own working folder";
  // A clock seed is printed too, so that any match can be replayed; an
  // engine fault gives exit status 1.
  const Outcome clock = run("--throws 1 --no-pictures --out " + outDir("clock") + " '" + FAKE +
                            " --script garbage' '" + FAKE + "'");
  EXPECT_EQ(clock.status, 1);
  EXPECT_NE(clock.out.find("(replay with --seed "), std::string::npos) << clock.out;
}

TEST(RefereeCli, SeriesOptionsAreCheckedAndExplained) {
  const Outcome help = run("--help");
  for (const char* opt : {"--games", "--concurrency", "halves", "--sprt", "--alpha", "--beta"}) {
    EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
  }
  for (const char* bad :
       {"--games 0 a b", "--concurrency 2 a b", "--sprt 0 5 a b", "--games 4 --sprt 5 0 a b",
        "--games 4 --sprt 0 a b", "--games 4 --sprt 0 5 --alpha 0.6 --beta 0.5 a b",
        "--games 4 --concurrency 0 a b"}) {
    const Outcome r = run(bad);
    EXPECT_EQ(r.status, 2) << bad << "\n" << r.out;
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << bad;
  }
}

TEST(RefereeCli, SeriesStopsOnTheSprtAndWritesItsFigures) {
  const std::string dir = outDir("series-sprt");
  const Outcome r = run("--games 80 --seed 5 --sprt 0 200 --out " + dir + " '" + FAKE +
                        " --script ok' '" + FAKE + " --script draw:0.5:3'");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("game   1/80  seed "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("A vs B after 10 games"), std::string::npos) << "the running estimate";
  EXPECT_NE(r.out.find("SPRT: H1 accepted after "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(replay with --seed 5)"), std::string::npos) << r.out;
  std::ifstream in(dir + "/series.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  const int played = j["games"].size();
  EXPECT_LT(played, 80);
  EXPECT_EQ(j["sprt"]["decided_after"], played);
  EXPECT_EQ(j["sprt"]["decision"], "accept H1");
  EXPECT_GT(j["elo_low"].get<double>(), 0.0);
  // Unbounded above after a near sweep: null, never a made-up number.
  EXPECT_TRUE(j["elo_high"].is_null() || j["elo_high"].get<double>() > j["elo"].get<double>());
  EXPECT_EQ(j["forfeits"], 0);
  for (const char* f : {"elo.svg", "game-001/record.jsonl", "game-001/end00.svg",
                        "game-001/match.log", "game-002/end00-shot15.svg"}) {
    EXPECT_TRUE(fs::exists(dir + "/" + f)) << f;
  }
}

TEST(RefereeCli, ASeriesOfForfeitsSaysSoInWordsAndWritesNoNumberItHasNot) {
  const std::string dir = outDir("series-dead");
  const Outcome r = run("--games 3 --no-pictures --seed 9 --out " + dir + " '" + FAKE +
                        " --script ok' '" + FAKE + " --script exit'");
  EXPECT_EQ(r.status, 1) << "forfeits are faults" << r.out;
  EXPECT_NE(r.out.find("A won every game: no finite estimate"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("forfeited games (an engine at fault): 3 (by A 0, by B 3"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("inf"), std::string::npos) << r.out;
  std::ifstream in(dir + "/series.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  EXPECT_EQ(j["wins"], 3);
  EXPECT_EQ(j["score"], 1.0);
  for (const char* key : {"elo", "elo_low", "elo_high"}) EXPECT_TRUE(j[key].is_null()) << key;
  EXPECT_EQ(j["forfeits"], 3);
  EXPECT_EQ(j["games"][2]["result"], "win");
}

// An output folder is the run's own: one with anything in it is refused
// untouched, and so is one that a running referee holds.
TEST(RefereeCli, AnOutputFolderIsNeverSharedOrReused) {
  const std::string dir = outDir("taken");
  fs::create_directories(dir);
  std::ofstream(dir + "/record.jsonl") << "an earlier match\n";
  const Outcome used = run("--throws 1 --out " + dir + " '" + FAKE + "' '" + FAKE + "'");
  EXPECT_EQ(used.status, 2) << used.out;
  EXPECT_NE(used.out.find("not empty"), std::string::npos) << used.out;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_EQ(slurp(dir + "/record.jsonl"), "an earlier match\n");

  // The first referee holds its folder for as long as it runs (its engine A
  // never reads again and ignores SIGTERM); a second one started meanwhile
  // is refused. SIGTERM ends the first in order, engine A included.
  const std::string held = outDir("held");
  const std::string pids = held + "-pids";
  fs::remove(pids);
  Referee first({"--throws", "2", "--timeout", "600", "--no-pictures", "--out", held,
                 FAKE + " --script hang --ignore-term --pids " + pids, FAKE});
  ASSERT_TRUE(first.waitFor("output " + held));
  for (int i = 0; i < 1200 && pidsIn(pids).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // Python starting
  }
  const Outcome second = run("--throws 1 --out " + held + " '" + FAKE + "' '" + FAKE + "'");
  EXPECT_EQ(second.status, 2) << second.out;
  ::kill(first.pid(), SIGTERM);
  const auto ended = first.finish();
  EXPECT_EQ(ended.status, 128 + SIGTERM) << ended.out;
  EXPECT_TRUE(fs::exists(held + "/record.jsonl")) << "written whole, throws so far";
  EXPECT_FALSE(fs::exists(held + "/record.jsonl.part"));
  ASSERT_EQ(pidsIn(pids).size(), 1u);
  EXPECT_FALSE(running(pidsIn(pids)[0]));
}

// A signal ends a series in order: no new game, every engine ended (A
// ignores SIGTERM), the games counted so far in series.json, marked
// interrupted, and a non-zero exit.
TEST(RefereeCli, ASignalEndsASeriesInOrder) {
  for (int sig : {SIGINT, SIGHUP}) {
    const std::string dir = outDir("series-signal-" + std::to_string(sig));
    const std::string pids = dir + "-pids";
    fs::remove(pids);
    Referee r({"--games", "40", "--concurrency", "2", "--no-pictures", "--timeout", "600", "--seed",
               "3", "--out", dir, FAKE + " --ignore-term --pids " + pids,
               FAKE + " --pids " + pids});
    ASSERT_TRUE(r.waitFor("game   2/40"));
    ::kill(r.pid(), sig);
    const auto ended = r.finish();
    EXPECT_EQ(ended.status, 128 + sig) << ended.out;
    EXPECT_NE(ended.out.find("series interrupted"), std::string::npos) << ended.out;
    const nlohmann::json j = nlohmann::json::parse(slurp(dir + "/series.json"));
    EXPECT_EQ(j["interrupted"], true);
    const int played = j["games"].size();
    EXPECT_GE(played, 2);
    EXPECT_LT(played, 40);
    EXPECT_EQ(j["wins"].get<int>() + j["draws"].get<int>() + j["losses"].get<int>(), played);
    EXPECT_NE(ended.out.find(fmt::format("game {:3}/40", played)), std::string::npos);
    EXPECT_EQ(ended.out.find(fmt::format("game {:3}/40", played + 1)), std::string::npos);
    const std::vector<int> started = pidsIn(pids);
    EXPECT_GE(started.size(), 2u * played);
    for (int pid : started) EXPECT_FALSE(running(pid)) << "engine pid " << pid;
    EXPECT_FALSE(fs::exists(dir + "/" + std::string(LOCK_FILE))) << "the folder is released";
  }
}

// Whatever an engine prints, the referee's memory and the engine's log stay
// within fixed bounds.
TEST(RefereeCli, FloodsOfOutputKeepMemoryAndLogsBounded) {
  const struct {
    const char* name;
    std::string a, b;
    const char* statusA;
  } cases[] = {
      // 8 MB of "BESTSHOT " tokens before each reply (the first is taken:
      // malformed), against 16 MB of junk after every POSITION.
      {"bestshot", FAKE + " --script flood:BESTSHOT\\ :8", FAKE + " --position-flood 16",
       "malformed"},
      // 16 MB of READYOK before each reply: all unasked, the reply counts.
      {"readyok", FAKE + " --script flood:READYOK:16", FAKE, "ok"},
  };
  for (const auto& k : cases) {
    const std::string dir = outDir(std::string("flood-") + k.name);
    Referee r({"--throws", "4", "--timeout", "60", "--no-pictures", "--out", dir, k.a, k.b});
    const auto ended = r.finish();
    EXPECT_EQ(ended.status, k.statusA == std::string("ok") ? 0 : 1) << k.name << ended.out;
    // A match of two quiet engines peaks near 15 MB; each engine may add
    // about 3 × 64 KB of kept output and a 64 KB read buffer (the first
    // case peaked at 161 MB before the bounds).
    EXPECT_LT(ended.peakKb, 40 * 1024) << k.name;
    std::ifstream in(dir + "/record.jsonl");
    int t = 0;
    for (std::string line; std::getline(in, line); ++t) {
      const auto rec = nlohmann::json::parse(line);
      EXPECT_EQ(rec["status"], t % 2 ? "ok" : k.statusA) << k.name << " " << t;
    }
    EXPECT_EQ(t, 4);
    for (const char* log : {"/engine-a.log", "/engine-b.log"}) {
      // At most OUTPUT_KEPT per message (4 throws: fewer than 20 messages)
      // and a few notes each time.
      EXPECT_LT(fs::file_size(dir + log), 20 * (OUTPUT_KEPT + 1024)) << k.name << log;
    }
  }
}

TEST(RefereeCli, TwoRealEnginesPlayThroughTheProtocol) {
  // kelp is built with the tests: a kelp that cannot play fails here.
  const std::string dir = outDir("kelp-vs-kelp");
  const std::string kelp = KELP_BINARY_DIR "/kelp";
  const Outcome r = run("--seed 5 --throws 4 --timeout 30 --out " + dir + " " + kelp + " " + kelp);
  EXPECT_EQ(r.status, 0) << r.out;
  std::ifstream in(dir + "/record.jsonl");
  int throws = 0;
  for (std::string line; std::getline(in, line); ++throws) {
    EXPECT_NE(line.find("\"status\":\"ok\""), std::string::npos) << line;
  }
  EXPECT_EQ(throws, 4);
}

}  // namespace
}  // namespace Kelp::Referee
