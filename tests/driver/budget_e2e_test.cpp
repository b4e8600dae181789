// kelp-strong under a budget and a seed, over its pipes: a decision repeats
// byte for byte (in the same process and in another one), the counts are the
// budget's, another seed searches differently, and --bench signs its play.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/tempdir.h"
#include "support/text.h"

namespace {

using namespace std::string_literals;
using KelpTest::ChildProcess;
using KelpTest::TempDir;
using std::chrono::milliseconds;

const std::string STRONG = KELP_BINARY_DIR "/kelp-strong";
constexpr milliseconds TIMEOUT{120000};

using KelpTest::record;

const std::string MID =
    record("5 0 2 1", {"2.375", "4.5", "2.6", "5.2", "2.3", "8.0", "1.9", "4.2", "2.2", "4.9"});
const std::string EMPTY = record("0 0 4 0");

// Everything kelp-strong with args writes for ISREADY and a GO on each
// record in turn, up to its exit at the end of input.
std::string play(const std::string& args, const std::vector<std::string>& records) {
  TempDir dir;
  ChildProcess kelp(STRONG, KelpTest::split(args, ' '), dir.str());
  EXPECT_TRUE(kelp.send("ISREADY"));
  EXPECT_TRUE(kelp.readUntil("READYOK", TIMEOUT));
  std::string out;
  for (const std::string& r : records) {
    KelpTest::sendEach(kelp, r);
    EXPECT_TRUE(kelp.send("GO"));
    out += kelp.readUntil("BESTSHOT ", TIMEOUT).value_or("none");
    // The reply is one write, without a line end.
    out += kelp.readAvailable(milliseconds(300)) + "|";
  }
  return out + KelpTest::expectCleanEnd(kelp, TIMEOUT);
}

// Each GO's Count: the first field of the diagnostic line before its reply.
std::vector<std::string> counts(const std::string& out) {
  std::vector<std::string> c;
  for (const std::string& go : KelpTest::split(out, '|')) {
    const size_t comma = go.find(',');
    if (comma != std::string::npos)
      c.push_back(go.substr(comma + 1, go.find(',', comma + 1) - comma - 1));
  }
  return c;
}

TEST(Budget, ASeededDecisionRepeatsByteForByte) {
  const struct {
    const char* args;
    const char* count;  // what every GO's Count must be
  } engines[] = {
      // 301 samples over two workers: 151 and 150.
      {"--samples 301 --threads 2", "301"},
      // Four workers of 40 iterations each, whatever --threads says.
      {"--search faithful --iterations 40 --threads 2", "160"},
  };
  for (const auto& e : engines) {
    const std::string args = e.args + " --seed 7"s;
    // The same position twice in one process, with another between them:
    // the decision depends on the position and the seed, not on what came
    // before.
    const std::string first = play(args, {MID, EMPTY, MID});
    const std::vector<std::string> lines = KelpTest::split(first, '|');
    ASSERT_EQ(lines.size(), 3u) << first;
    EXPECT_EQ(lines[0].substr(lines[0].find(',')), lines[2]) << args;
    EXPECT_EQ(counts(first), std::vector<std::string>(3, e.count)) << first;
    // Another process on another machine load: the same bytes.
    EXPECT_EQ(play(args, {MID, EMPTY, MID}), first) << args;
    // Another seed: another search.
    EXPECT_NE(play(e.args + " --seed 8"s, {MID, EMPTY, MID}), first) << args;
  }
}

TEST(Budget, ABudgetBelongsToOneSearchAndExcludesTheClock) {
  const struct {
    const char* args;
    const char* says;
  } rows[] = {
      {"--search faithful --samples 10", "--samples is the strong search's budget"},
      {"--iterations 10", "--iterations is the faithful search's budget"},
      {"--samples 10 --think-ms 100", "excludes"},
      {"--samples 0", "--samples"},
      {"--seed -1", "--seed"},
      {"--search greedy --value points", "--value, --common-errors, --fixed-exploration,"},
  };
  for (const auto& r : rows) {
    const KelpTest::Outcome o = KelpTest::runToEnd(STRONG, KelpTest::split(r.args, ' '));
    EXPECT_EQ(o.status, 2) << r.args;
    EXPECT_NE(o.out.find(r.says), std::string::npos) << r.args << ": " << o.out;
  }
}

TEST(Bench, TheSignaturesOfTodaysPlay) {
  // Any change in what a search plays on the bench positions, or in the
  // samples behind it, changes its signature: a speed-up must keep it, a
  // change of play must update it here and in docs/strength.md. The strong
  // search's rollouts, without the value model:
  const struct {
    const char* args;
    const char* header;
    const char* total;
    const char* signature;
  } rows[] = {
      {"--bench", "search strong, 1000 samples, 2 threads, value match, seed 1", "10000",
       "e7e46fb23a0fa976"},
      {"--bench --no-model --value points",
       "search strong, 1000 samples, 2 threads, value points, seed 1", "10000", "3cb1216454f25ef8"},
      // Samples valued by the built-in model (player/models).
      {"--bench --model built-in",
       "search strong, 1000 samples, 2 threads, value match, model built-in, seed 1", "10000",
       "32c7969db9ed6ead"},
      {"--bench --search faithful", "search faithful, 100 iterations per worker, seed 1", "4000",
       "b4c275a8140db1d4"},
  };
  for (const auto& r : rows) {
    const KelpTest::Outcome o = KelpTest::runToEnd(STRONG, KelpTest::split(r.args, ' '), TIMEOUT);
    ASSERT_EQ(o.status, 0) << o.out;
    const std::vector<std::string> lines = KelpTest::split(o.out, '\n');
    ASSERT_EQ(lines.size(), 1u + 10 + 2) << o.out;
    EXPECT_EQ(lines[0], "bench: 10 positions, "s + r.header);
    EXPECT_EQ(lines[11], "total samples "s + r.total);
    EXPECT_EQ(lines[12], "signature "s + r.signature) << o.out;
  }
}

}  // namespace
