// The shuffle of the root's children, draw for draw as std::shuffle with a
// default-seeded std::mt19937. The tree's value semantics are exercised by
// the searches (every worker searches its own copy of the root).
#include <gtest/gtest.h>

#include <deque>

#include "player/ai.h"

namespace {

Tree node(const std::string& label) {
  Tree t;
  t.move.move_state.label = label;
  return t;
}

std::string labels(const std::vector<Tree>& v) {
  std::string out;
  for (const Tree& t : v) out += t.move.move_state.label;
  return out;
}

TEST(Shuffle, DefaultSeededOrderWorkedByHand) {
  // std::mt19937 with its default seed 5489 starts 3499211612, 581869302,
  // 3890346734, 3586334585. For five children 01234:
  //   i=1: 3499211612 % 2 = 0 -> 10234     i=2: 581869302 % 3 = 0 -> 20134
  //   i=3: 3890346734 % 4 = 2 -> 20314     i=4: 3586334585 % 5 = 0 -> 40312
  std::vector<Tree> v, w;
  for (const char* l : {"0", "1", "2", "3", "4"}) v.push_back(node(l));
  w = v;
  shuffleChildren(v);
  EXPECT_EQ(labels(v), "40312");
  shuffleChildren(w);  // a fresh generator every call
  EXPECT_EQ(labels(w), "40312");
}

struct Script {  // replays 32-bit outputs
  std::deque<uint32_t> values;
  uint32_t operator()() {
    const uint32_t v = values.front();
    values.pop_front();
    return v;
  }
};

TEST(Shuffle, DrawRejectsOnlyTheIncompleteLastBlock) {
  Script s{{0xFFFFFFFFu, 7u}};  // i=2: 0xFFFFFFFF / 3 reaches 0xFFFFFFFF / 3: drawn again
  EXPECT_EQ(shuffleDraw(s, 2), 1u);
  EXPECT_TRUE(s.values.empty());
  Script t{{0xFFFFFFFFu}};  // i=3: 0xFFFFFFFF mod 4 = 3 = i: every block complete
  EXPECT_EQ(shuffleDraw(t, 3), 3u);
  Script u{{4294967292u, 4294967291u}};  // i=5: 4294967292 / 6 = 715827882 = limit
  EXPECT_EQ(shuffleDraw(u, 5), 4294967291u % 6);
  EXPECT_TRUE(u.values.empty());
}

}  // namespace
