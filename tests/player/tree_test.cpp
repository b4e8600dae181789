// The search tree as a value: deep copies, moves, swaps, and the shuffle of
// the root's children.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "player/MonteCarlo.h"
#include "player/ai.h"

namespace {

Tree node(const std::string& label, uint32_t visits = 0) {
  Tree t;
  t.move.move_state.label = label;
  t.move.move_state.vx = 1.5;
  t.move.uct_state.visits = visits;
  return t;
}

// root -> a -> (a1, a2), root -> b
Tree sample() {
  Tree root;
  root.children.push_back(node("a", 3));
  root.children.push_back(node("b", 4));
  root.children[0].children.push_back(node("a1", 1));
  root.children[0].children.push_back(node("a2", 2));
  return root;
}

TEST(Tree, CopyIsDeepAndIndependent) {
  const Tree source = sample();
  Tree copy = source;
  ASSERT_EQ(copy.children.size(), 2u);
  ASSERT_EQ(copy.children[0].children.size(), 2u);
  EXPECT_EQ(copy.children[0].children[1].move.move_state.label, "a2");
  copy.children[0].children[1].move.uct_state.visits = 99;
  copy.children[0].children.clear();
  copy.children[1].move.move_state.label = "changed";
  EXPECT_EQ(source.children[0].children.size(), 2u);
  EXPECT_EQ(source.children[0].children[1].move.uct_state.visits, 2u);
  EXPECT_EQ(source.children[1].move.move_state.label, "b");
}

TEST(Tree, MoveHandsOverChildrenAndKeepsTheSourceMove) {
  Tree source = sample();
  source.move.move_state.label = "root";
  Tree moved(std::move(source));
  EXPECT_EQ(moved.children.size(), 2u);
  EXPECT_EQ(moved.move.move_state.label, "root");
  EXPECT_TRUE(source.children.empty());
  EXPECT_EQ(source.move.move_state.label, "root");

  Tree target = node("target");
  target.children.push_back(node("old"));
  target = std::move(moved);
  EXPECT_EQ(target.children.size(), 2u);
  EXPECT_EQ(target.children[0].children[0].move.move_state.label, "a1");
  EXPECT_TRUE(moved.children.empty());

  target = std::move(target);  // self-assignment leaves the node intact
  EXPECT_EQ(target.children.size(), 2u);
}

TEST(Tree, SwapExchangesWholeSubtrees) {
  Tree root = sample();
  swap(root.children[0], root.children[1]);
  EXPECT_EQ(root.children[0].move.move_state.label, "b");
  EXPECT_TRUE(root.children[0].children.empty());
  EXPECT_EQ(root.children[1].move.move_state.label, "a");
  EXPECT_EQ(root.children[1].children.size(), 2u);
  swap(root.children[0], root.children[0]);
  EXPECT_EQ(root.children[0].move.move_state.label, "b");
}

std::vector<Tree> numbered(int n) {
  std::vector<Tree> out;
  for (int i = 0; i < n; ++i) out.push_back(node(std::to_string(i)));
  return out;
}

std::vector<std::string> order(const std::vector<Tree>& v) {
  std::vector<std::string> out;
  for (const Tree& t : v) out.push_back(t.move.move_state.label);
  return out;
}

TEST(Shuffle, DefaultSeededOrderWorkedByHand) {
  // std::mt19937 with its default seed 5489 starts 3499211612, 581869302,
  // 3890346734, 3586334585. For five children:
  //   i=1: 3499211612 % 2 = 0          -> swap 1,0: 1 0 2 3 4
  //   i=2: 581869302 % 3 = 0           -> swap 2,0: 2 0 1 3 4
  //   i=3: 3890346734 % 4 = 2          -> swap 3,2: 2 0 3 1 4
  //   i=4: 3586334585 % 5 = 0          -> swap 4,0: 4 0 3 1 2
  // (no draw is rejected: each lies below the last incomplete block).
  std::vector<Tree> v = numbered(5);
  shuffleChildren(v);
  EXPECT_EQ(order(v), (std::vector<std::string>{"4", "0", "3", "1", "2"}));
  // Every call starts the generator afresh: the same list, the same order.
  for (int n : {2, 22, 54}) {
    std::vector<Tree> a = numbered(n), b = numbered(n);
    shuffleChildren(a);
    shuffleChildren(b);
    EXPECT_EQ(order(a), order(b));
  }
  std::vector<Tree> one = numbered(1), none;
  shuffleChildren(one);
  shuffleChildren(none);
  EXPECT_EQ(order(one), (std::vector<std::string>{"0"}));
}

// A generator that replays a script of 32-bit outputs.
struct Script {
  std::deque<uint32_t> values;
  uint32_t operator()() {
    EXPECT_FALSE(values.empty());
    if (values.empty()) return 0;
    const uint32_t v = values.front();
    values.pop_front();
    return v;
  }
};

TEST(Shuffle, DrawRejectsTheIncompleteLastBlock) {
  // i=2: 0xFFFFFFFF / 3 = 1431655765 = 0xFFFFFFFF / 3 exactly -> drawn again.
  Script s{{0xFFFFFFFFu, 7u}};
  EXPECT_EQ(shuffleDraw(s, 2), 1u);
  EXPECT_TRUE(s.values.empty());
  // i=3: 0xFFFFFFFF mod 4 = 3 = i, so every block is complete: never redrawn.
  Script t{{0xFFFFFFFFu}};
  EXPECT_EQ(shuffleDraw(t, 3), 3u);
  // i=4: 0xFFFFFFFE / 5 = 858993458 is below 858993459: kept.
  Script u{{0xFFFFFFFEu}};
  EXPECT_EQ(shuffleDraw(u, 4), 4u);
  // i=5: 4294967292 / 6 = 715827882 = 0xFFFFFFFF / 6: drawn again.
  Script w{{4294967292u, 4294967291u}};
  EXPECT_EQ(shuffleDraw(w, 5), 4294967291u % 6);
  EXPECT_TRUE(w.values.empty());
}

}  // namespace
