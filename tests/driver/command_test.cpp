#include "driver/command.h"

#include <gtest/gtest.h>

#include <utility>

namespace Kelp {
namespace {

using Tokens = std::vector<std::string>;

// Only single spaces separate, and the closing newline token is always last.
// How messages are cut from a read and dispatched is checked end to end.
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
}

}  // namespace
}  // namespace Kelp
