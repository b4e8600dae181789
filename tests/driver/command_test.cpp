#include "driver/command.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <utility>

#include "driver/command_table.h"

namespace Kelp {
namespace {

using Tokens = std::vector<std::string>;

// Only single spaces separate, and the closing newline token is always last.
TEST(SplitCommand, SingleSpacesSeparateAndTheNewlineTokenCloses) {
  const std::pair<const char*, Tokens> cases[] = {
      {"ISREADY", {"ISREADY", "\n"}},
      {"FOO bar", {"FOO", "bar", "\n"}},
      {"", {"\n"}},
      {"SETSTATE  1 2 3 4", {"SETSTATE", "", "1", "2", "3", "4", "\n"}},
      {"SCORE 1 ", {"SCORE", "1", "", "\n"}},
      {" ", {"", "", "\n"}},
      {"GO\n", {"GO\n", "\n"}},
      {"a\tb\r c", {"a\tb\r", "c", "\n"}},
  };
  for (const auto& [message, tokens] : cases) EXPECT_EQ(SplitCommand(message), tokens) << message;
  std::string m = "POSITION";
  for (int i = 0; i < 32; ++i) m += " " + std::to_string(i) + ".5";
  const Tokens t = SplitCommand(m + "\n");
  ASSERT_EQ(t.size(), 34u);
  EXPECT_EQ(t[32], "31.5\n");
}

std::vector<std::string> messagesOf(std::string_view bytes) {
  std::vector<std::string> got;
  forEachMessage(bytes, [&](std::string_view m) {
    got.emplace_back(m);
    return true;
  });
  return got;
}

TEST(ForEachMessage, ZeroBytesSeparateMessagesOfOneRead) {
  using namespace std::string_literals;
  EXPECT_EQ(messagesOf("SCORE 1"), (Tokens{"SCORE 1"}));
  EXPECT_EQ(messagesOf("SCORE 1\0"s), (Tokens{"SCORE 1"}));
  EXPECT_EQ(messagesOf("A\0B"s), (Tokens{"A", "B"}));
  EXPECT_EQ(messagesOf("A\0\0\0B\0\0"s), (Tokens{"A", "B"}));
  // The text before the first zero is a message even when empty.
  EXPECT_EQ(messagesOf("\0"s), (Tokens{""}));
  EXPECT_EQ(messagesOf("\0A"s), (Tokens{"", "A"}));
  EXPECT_EQ(messagesOf(""), (Tokens{""}));
}

TEST(ForEachMessage, StopsAtTheFirstFalse) {
  using namespace std::string_literals;
  std::vector<std::string> seen;
  const bool all = forEachMessage("A\0B\0C"s, [&](std::string_view m) {
    seen.emplace_back(m);
    return m != "B";
  });
  EXPECT_FALSE(all);
  EXPECT_EQ(seen, (Tokens{"A", "B"}));
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = std::cout.rdbuf(out_.rdbuf()); }
  void TearDown() override { std::cout.rdbuf(saved_); }
  std::ostringstream out_;
  std::streambuf* saved_ = nullptr;
  ClientField field_;
};

TEST_F(Dispatch, HandlerGetsTheTokensAndDecidesWhetherToGoOn) {
  Tokens got;
  const CommandTable table = {{"STOP", [&](const Tokens& t, ClientField& f) {
                                 got = t;
                                 f.shot = 7;
                                 return false;
                               }}};
  EXPECT_FALSE(dispatchMessage("STOP now", table, field_));
  EXPECT_EQ(got, (Tokens{"STOP", "now", "\n"}));
  EXPECT_EQ(field_.shot, 7);
  EXPECT_EQ(out_.str(), "");
}

}  // namespace
}  // namespace Kelp
