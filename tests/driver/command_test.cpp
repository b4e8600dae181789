#include "driver/command.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "driver/command_table.h"

namespace Kelp {
namespace {

using Tokens = std::vector<std::string>;

TEST(SplitCommand, WordsEndWithTheClosingNewlineToken) {
  EXPECT_EQ(SplitCommand("ISREADY"), (Tokens{"ISREADY", "\n"}));
  EXPECT_EQ(SplitCommand("FOO bar"), (Tokens{"FOO", "bar", "\n"}));
  // An empty message still has the closing token.
  EXPECT_EQ(SplitCommand(""), (Tokens{"\n"}));
}

TEST(SplitCommand, OnlySingleSpacesSeparate) {
  EXPECT_EQ(SplitCommand("SETSTATE  1 2 3 4"), (Tokens{"SETSTATE", "", "1", "2", "3", "4", "\n"}));
  EXPECT_EQ(SplitCommand("SCORE 1 "), (Tokens{"SCORE", "1", "", "\n"}));
  EXPECT_EQ(SplitCommand(" "), (Tokens{"", "", "\n"}));
  EXPECT_EQ(SplitCommand("GO\n"), (Tokens{"GO\n", "\n"}));
  EXPECT_EQ(SplitCommand("a\tb\r c"), (Tokens{"a\tb\r", "c", "\n"}));
}

TEST(SplitCommand, PositionWithThirtyTwoNumbersIsThirtyFourTokens) {
  std::string m = "POSITION";
  for (int i = 0; i < 32; ++i) m += " " + std::to_string(i) + ".5";
  const Tokens t = SplitCommand(m);
  ASSERT_EQ(t.size(), 34u);
  EXPECT_EQ(t[32], "31.5");
  const Tokens with_newline = SplitCommand(m + "\n");
  ASSERT_EQ(with_newline.size(), 34u);
  EXPECT_EQ(with_newline[32], "31.5\n");
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

TEST_F(Dispatch, UnknownWordReportsTokensAndRawMessage) {
  EXPECT_TRUE(dispatchMessage("FOO bar", COMMAND_TABLE, field_));
  EXPECT_TRUE(dispatchMessage("GO\n", COMMAND_TABLE, field_));
  EXPECT_TRUE(dispatchMessage("", COMMAND_TABLE, field_));
  // Names are case-sensitive.
  EXPECT_TRUE(dispatchMessage("showall", COMMAND_TABLE, field_));
  EXPECT_EQ(out_.str(),
            "illegal command FOO bar \n \nFOO bar\n"
            "illegal command GO\n \n \nGO\n\n"
            "illegal command \n \n\n"
            "illegal command showall \n \nshowall\n");
}

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
