// Drives the built kelp and kelp-strong over their pipes as a match server
// does: one write per message, exact bytes compared on standard output, exit
// status checked. Both must speak the protocol byte for byte alike.
// Messages that print nothing end with a zero byte, so that two of them
// arriving in one read are still taken one by one.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/process.h"

namespace {

using namespace std::string_literals;
using KelpTest::ChildProcess;
using std::chrono::milliseconds;

constexpr milliseconds TIMEOUT{5000};

// The report of a word not in the table; `words` are the message's words,
// each followed by a space (the closing "\n" word is added here).
std::string illegal(const std::string& words, const std::string& raw) {
  return "illegal command " + words + "\n \n" + raw + "\n";
}

// Each engine as a match server starts it: no arguments.
class Protocol : public ::testing::TestWithParam<const char*> {
 protected:
  void exchange(const std::string& message, const std::string& expected) {
    KelpTest::exchange(kelp_, message, expected, TIMEOUT);
  }
  ChildProcess kelp_{std::string(KELP_BINARY_DIR "/") + GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Engines, Protocol, ::testing::Values("kelp", "kelp-strong"),
                         [](const auto& info) { return info.index ? "kelp_strong" : "kelp"; });

// Unknown words echo their tokens and the raw message; wrong word counts
// are reported.
TEST_P(Protocol, RepliesToEveryMessage) {
  exchange("FOO bar", illegal("FOO bar ", "FOO bar"));
  // A command word with the line end glued to it is not the command.
  exchange("GO\n", illegal("GO\n ", "GO\n"));
  exchange("ISREADY\n", illegal("ISREADY\n ", "ISREADY\n"));
  // An empty message is its closing token alone.
  exchange("\0"s, illegal("", ""));
  exchange("showall\0"s, illegal("showall ", "showall"));  // names are case-sensitive
  // Only single spaces separate words; tabs and carriage returns do not.
  exchange(" ", illegal("  ", " "));
  exchange("a\tb\r c", illegal("a\tb\r c ", "a\tb\r c"));
  // One read may hold several zero-terminated messages; empty pieces between
  // zeros are no messages.
  exchange("SETSTATE 1 2 3 4 5\0FOO\0\0BAR baz\0"s,
           "error argment size\n" + illegal("FOO ", "FOO") + illegal("BAR baz ", "BAR baz"));
  // A full read is one message, bounded by the bytes read.
  const std::string word(1020, 'a');
  exchange("FOO " + word, illegal("FOO " + word + " ", "FOO " + word));
  // One byte more than a read takes: the rest arrives as the next message.
  exchange("BAR " + word + "z", illegal("BAR " + word + " ", "BAR " + word) + illegal("z ", "z"));
  // Wrong word counts; a double space makes an empty word.
  exchange("SETSTATE  1 2 3 4", "error argment size\n");
  std::string p = "POSITION";
  for (int i = 0; i < 31; ++i) p += " 1.5";
  exchange(p, "error argument size\n");
  exchange(p + " 1.5 1.5", "error argument size\n");
  exchange("SCORE", "error argment size\n");
  exchange("TOTALSCORE 1", "error argment size\n");
  // TOTALSCORE with its two numbers and the record commands print nothing:
  // all that comes back is the report of the word after them.
  ASSERT_TRUE(kelp_.send(p + " 1.5\n\0"s +
                         "TOTALSCORE 3 2\0SETSTATE 0 1 8 0\0SCORE 2\0NEWGAME\0ShowAll\0FOO"s));
  EXPECT_EQ(kelp_.readUntil("\nFOO\n", TIMEOUT), illegal("FOO ", "FOO"));
  // Then a prompt, quiet exit with status 0 and no output beyond what was
  // read already.
  EXPECT_EQ(KelpTest::expectCleanEnd(kelp_, TIMEOUT), "");
}

TEST_P(Protocol, ClosedOutputEndsTheProgramQuietly) {
  // The harness starts kelp with SIGPIPE at its default action, so this
  // fails with a signal unless kelp itself ignores it.
  kelp_.closeStdout();
  ASSERT_TRUE(kelp_.send("FOO\0"s));
  const auto status = kelp_.wait(TIMEOUT);
  ASSERT_TRUE(status) << "kelp kept running with its output closed";
  EXPECT_FALSE(status->signaled) << "signal " << status->signal;
  EXPECT_TRUE(status->exited && status->code == 0);
  EXPECT_EQ(kelp_.stderrText(), "");
}

}  // namespace
