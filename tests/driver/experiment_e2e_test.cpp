// The self-play commands through the built kelp, each in a fresh working
// directory: what reaches standard output, the three result files, and how
// the program ends.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/process.h"
#include "support/tempdir.h"
#include "support/text.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using KelpTest::ChildProcess;
using KelpTest::readFile;
using KelpTest::split;
using KelpTest::TempDir;
using std::chrono::milliseconds;

constexpr milliseconds TIMEOUT{5000};

// Sends one message and returns all that kelp wrote before it ended, which
// it must do by itself with status 0.
std::string runToEnd(const TempDir& dir, const std::string& message, milliseconds timeout) {
  ChildProcess kelp(KELP_BINARY_DIR "/kelp", {}, dir.str());
  EXPECT_TRUE(kelp.send(message));
  const auto out = kelp.readAll(timeout);
  const auto status = kelp.wait(TIMEOUT);
  EXPECT_TRUE(out && status && status->exited && status->code == 0) << message;
  EXPECT_EQ(kelp.stderrText(), "") << message;
  return out.value_or("");
}

TEST(Experiment, OneGameOfOneEnd) {
  TempDir dir;
  const std::string out = runToEnd(dir, "run 1 1", milliseconds(120000));

  const std::vector<std::string> console = split(out, '\n');
  ASSERT_EQ(console.size(), 1u + 16 + 4) << out;
  EXPECT_EQ(console[0], "Name : Count : Size : ShotNum : Pow : Type : Rate : win : playout : time");
  const std::vector<std::string> shots = split(readFile(dir.path() / "shot.txt"), '\n');
  ASSERT_EQ(shots.size(), 16u);
  // name, Count, Size, ShotNum, label, mean, sum, playouts, milliseconds
  for (int n = 0; n < 16; ++n) {
    const std::string& line = console[1 + n];
    const std::vector<std::string> c = split(line, ',');
    ASSERT_EQ(c.size(), 9u) << line;
    // Improve throws first.
    EXPECT_EQ(std::tie(c[0], c[3]), std::tuple(n % 2 ? "original" : "improve", std::to_string(n)));
    for (int i : {5, 6}) EXPECT_TRUE(KelpTest::isDefaultDouble(c[i])) << line;
    // The search runs about its one second; the file has the same fields
    // and no less time, taken after the line was printed.
    EXPECT_GE(std::stoi(c[8]), 950);
    const std::size_t cut = line.rfind(',') + 1;
    EXPECT_EQ(shots[n].substr(0, cut), line.substr(0, cut));
    EXPECT_GE(std::stoi(shots[n].substr(cut)), std::stoi(c[8])) << shots[n];
  }

  // One end: its score, then nine unplayed zeros, each value with a comma.
  const std::string result = readFile(dir.path() / "result.txt");
  const std::size_t comma = result.find(',');
  EXPECT_EQ(result.substr(comma), ",0,0,0,0,0,0,0,0,0,\n");
  const int score = std::stoi(result);
  EXPECT_EQ(std::to_string(score), result.substr(0, comma));
  const std::string w[3] = {std::to_string(score > 0), std::to_string(score < 0),
                            std::to_string(score == 0)};
  EXPECT_EQ(readFile(dir.path() / "aggregate.txt"), w[0] + "," + w[1] + "," + w[2] + "\n");
  EXPECT_EQ(out.substr(out.find("improvewin")), "improvewin " + w[0] + "\noriginalwin " + w[1] +
                                                    "\ndraw num " + w[2] + "\nRun Command End\n");
}

TEST(Experiment, WithoutGamesTooManyNumbersAndNoNumber) {
  TempDir dir;
  // Files of an earlier run are emptied, and the program reads nothing
  // after the command, not even what came in the same read.
  for (const char* f : {"shot.txt", "result.txt", "aggregate.txt"})
    KelpTest::writeFile(dir.path() / f, "old\n");
  EXPECT_EQ(runToEnd(dir, "Run 0\0FOO"s, TIMEOUT),
            "improvewin 0\noriginalwin 0\ndraw num 0\nRun Command End\n");
  EXPECT_EQ(readFile(dir.path() / "shot.txt") + readFile(dir.path() / "result.txt"), "");
  EXPECT_EQ(readFile(dir.path() / "aggregate.txt"), "0,0,0\n");

  // Three numbers: nothing at all, not even the files.
  TempDir empty;
  EXPECT_EQ(runToEnd(empty, "Run 1 1 1", TIMEOUT), "");
  EXPECT_TRUE(fs::is_empty(empty.path()));

  // A result file that cannot be created (a folder of its name is there):
  // one line naming it and the reason, no game, and the end.
  for (const char* f : {"shot.txt", "result.txt", "aggregate.txt"}) {
    TempDir d;
    fs::create_directory(d.path() / f);
    EXPECT_EQ(runToEnd(d, "run 1 1", TIMEOUT), "run: cannot create "s + f + ": Is a directory\n");
    EXPECT_TRUE(fs::is_directory(d.path() / f));
  }

  // A count that is no number: one line saying so, no game, and the end.
  for (const auto& [m, said] : std::vector<std::pair<std::string, std::string>>{
           {"Run x", "error number,Run,x\n"},
           {"run 1 y\n", "error number,run,y\\x0a\n"},
           {"Run 99999999999", "error number,Run,99999999999\n"}}) {
    TempDir d;
    EXPECT_EQ(runToEnd(d, m, TIMEOUT), said);
    EXPECT_EQ(readFile(d.path() / "result.txt"), "") << m;
  }
}

}  // namespace
