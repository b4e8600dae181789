#include "driver/record_commands.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <tuple>

#include "driver/command_table.h"
#include "support/record.h"

namespace Kelp {
namespace {

// Runs messages through the record handlers and collects what they print.
class RecordCommands : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = std::cout.rdbuf(out_.rdbuf()); }
  void TearDown() override { std::cout.rdbuf(saved_); }

  bool run(const std::string& message) { return dispatchMessage(message, COMMAND_TABLE, field_); }
  // Output since the last call.
  std::string printed() {
    std::string s = out_.str();
    out_.str("");
    return s;
  }
  // Expects `message` to print `line` and leave the record unchanged.
  void expectRejected(const std::string& message, const std::string& line) {
    const ClientField before = field_;
    EXPECT_TRUE(run(message));
    EXPECT_EQ(printed(), line + "\n") << message;
    EXPECT_TRUE(KelpTest::sameRecord(before, field_)) << message;
  }

  static std::string positions(int count, const std::string& last = "") {
    std::string m = "POSITION";
    for (int i = 0; i < count; ++i) m += " " + std::to_string(i) + ".25";
    return m + last;
  }

  std::ostringstream out_;
  std::streambuf* saved_ = nullptr;
  ClientField field_;
};

TEST_F(RecordCommands, GoodMessagesStoreTheirValuesSilently) {
  EXPECT_TRUE(run(positions(32, "\n")));  // the newline stays on the last number
  const auto& p = field_.position;
  EXPECT_EQ(std::tie(p[0].x, p[0].y, p[15].x, p[15].y), std::tuple(0.25f, 1.25f, 30.25f, 31.25f));
  EXPECT_TRUE(run("SETSTATE 3 2 8 1\n"));
  EXPECT_EQ(std::tie(field_.shot, field_.end, field_.last_end), std::tuple(3, 2, 8));
  EXPECT_EQ(field_.color + field_.my_color, 2u);
  // Scores follow the end set by SETSTATE.
  for (const char* m : {"SETSTATE 0 0 8 0", "SCORE 3", "SETSTATE 0 1 8 0", "SCORE -2\n",
                        "SETSTATE 0 2 8 0", "SCORE 0"})
    run(m);
  const auto& e = field_.end_score;
  EXPECT_EQ(std::tie(field_.score[0], field_.score[1], field_.rel_score), std::tuple(3, 2, 1));
  EXPECT_EQ(std::tuple(e[0][0], e[1][1], e[2][0] + e[2][1]), std::tuple(3, 2, 0));

  // NEWGAME clears only the counters, whatever follows it; the other
  // commands here have no effect at all. No message here prints anything.
  const ClientField before = field_;
  field_.counter_a[1] = 4;
  field_.counter_b[0] = -9;
  field_.counter_c[1] = 2;
  for (const char* m :
       {"NEWGAME and more", "TOTALSCORE 4 1", "ShowAll", "ShowAll with extra words"})
    EXPECT_TRUE(run(m));
  EXPECT_EQ(printed(), "");
  EXPECT_TRUE(KelpTest::sameRecord(before, field_));
}

// Number words are read by strtol (32 bits) and strtof; the word-count
// reports are checked end to end.
TEST_F(RecordCommands, RejectedMessagesPrintOneLineAndChangeNothing) {
  std::string nines = "POSITION";  // a bad last pair must not leave the first fifteen stored
  for (int i = 0; i < 31; ++i) nines += " 9";
  const char* normal = "SETSTATE 1 2 8 0";
  const struct {
    const char* setup;
    std::string message, line;
  } cases[] = {
      {normal, "SCORE 1 ", "error argment size"},  // trailing space: an empty word
      {normal, nines + " 1e39", "error number,POSITION,1e39"},
      {normal, nines + " \n", "error number,POSITION,\\x0a"},
      // A bad colour word after three good numbers stores none of them.
      {normal, "SETSTATE 5 3 8 one", "error number,SETSTATE,one"},
      {normal, "SETSTATE 5 3 99999999999 1", "error number,SETSTATE,99999999999"},
      {normal, "SCORE two\n", "error number,SCORE,two\\x0a"},
      {normal, "SETSTATE 5 3 8 2", "error color,SETSTATE,2"},
      {"SETSTATE 0 16 8 1", "SCORE 1", "error end,SCORE,16"},
      {"SETSTATE 0 0 8 1", "SCORE -2147483648", "error score,SCORE,-2147483648"},
  };
  for (const auto& c : cases) {
    run(c.setup);
    run(positions(32));
    printed();
    expectRejected(c.message, c.line);
  }
  // Totals that would wrap around.
  EXPECT_TRUE(run("SCORE 2147483647") && printed().empty());
  expectRejected("SCORE 1", "error score,SCORE,1");
  EXPECT_TRUE(run("SCORE -5") && printed().empty());
  EXPECT_EQ(field_.rel_score, 2147483642);
  EXPECT_EQ(field_.rel_score, field_.score[0] - field_.score[1]);
}

}  // namespace
}  // namespace Kelp
