// The UCT and flat searches and the players' parallel search: statistics,
// selection, expansion, the merge and the choice of the best child.
#include <cmath>
#include <numeric>

#include "fixture.h"
#include "kelpsimulator/shot.h"
#include "player/ai.h"

namespace {

using Kelp::BLACK;
using Kelp::WHITE;

UCTAlgorithm uctWithLimit(int ms) {
  return UCTAlgorithm{SearchParameters{ms, 1, 0.25}};
}

Tree rootOf(const CurlingGameState& s) {
  Tree root;
  s.getCandidates(root.children);
  return root;
}

// The last stone of an end: BLACK lies two in the house.
CurlingGameState lastStone() {
  return position(1, {{BLACK, 0.9, 0.3}, {BLACK, -0.8, 0.6}});
}

void expectAllZero(const UCTState& st) {
  EXPECT_EQ(st.visits, 0u);
  EXPECT_EQ(st.playouts, 0u);
  EXPECT_EQ(st.sum, 0.0);
  EXPECT_EQ(st.mean, 0.0);
}

TEST(Search, NoTimeMeansNoStatistics) {
  const CurlingGameState s = position(10, {{WHITE, 0.2, 0.1}});
  for (int limit : {0, -5}) {
    for (const Tree& result : {uctWithLimit(limit).Search(s, rootOf(s)),
                               Primitive{SearchParameters{limit, 1, 0.25}}.Search(s, rootOf(s))}) {
      expectAllZero(result.move.uct_state);
      ASSERT_EQ(result.children.size(), 38u);
      for (const Tree& c : result.children) {
        expectAllZero(c.move.uct_state);
        EXPECT_TRUE(c.children.empty());
      }
    }
  }
}

TEST(Search, BothPlayersThrowTheFirstShuffledChildWithoutTime) {
  const CurlingGameState s = position(16, {});
  Tree expected = rootOf(s);
  shuffleChildren(expected.children);
  const CurlingMoveState& first = expected.children.front().move.move_state;
  Pebble_original pebble(0, 0.25);
  PrimitiveR primitive(100, 0, 0.25);
  for (ThinkResult r : {pebble.Think(s), primitive.Think(s)}) {
    const Move& m = std::get<0>(r);
    EXPECT_EQ(std::get<1>(r), 0);
    EXPECT_EQ(std::get<2>(r), 22);
    EXPECT_EQ(m.move_state.label, first.label);
    EXPECT_EQ(m.move_state.vx, first.vx);
    EXPECT_EQ(m.move_state.vy, -first.vy);  // record frame
    EXPECT_EQ(m.move_state.spin, first.spin);
  }
  EXPECT_EQ(pebble.getName(), "Pebble_original");
  EXPECT_EQ(primitive.getName(), "PrimitiveR");
  EXPECT_EQ(pebble.uct.params.expand_threshold, 1u);
  pebble.game_state = lastStone();
  EXPECT_TRUE(pebble.Init());
  EXPECT_EQ(pebble.game_state.getTurn(), 16);
  EXPECT_EQ(pebble.game_state.count[BLACK], 0);
}

TEST(Iterate, UnvisitedChildrenComeFirstAndTheLastShotIsNeverExpanded) {
  const UCTAlgorithm uct = uctWithLimit(1000);
  const CurlingGameState s = lastStone();
  Tree root = rootOf(s);
  const size_t n = root.children.size();
  ASSERT_EQ(n, 54u);
  std::vector<Tree> scratch;
  Kelp::DsfmtEngine engine(12345);
  for (size_t i = 0; i < n; ++i) {
    const double v = uct.Iterate(s, root, scratch, engine);
    EXPECT_EQ(std::abs(v), std::round(std::abs(v)));
    engine.next32();  // a different engine state each time
  }
  for (const Tree& c : root.children) {
    EXPECT_EQ(c.move.uct_state.visits, 1u) << c.move.move_state.label;
  }
  for (int i = 0; i < 200; ++i) {
    uct.Iterate(s, root, scratch, engine);
    engine.next32();
  }
  uint32_t visits = 0;
  for (const Tree& c : root.children) {
    const UCTState& st = c.move.uct_state;
    EXPECT_TRUE(c.children.empty());
    EXPECT_EQ(st.playouts, st.visits);
    EXPECT_DOUBLE_EQ(st.mean, st.sum / st.visits);
    EXPECT_GE(st.mean, -2.0);
    EXPECT_LE(st.mean, 1.0);  // WHITE can score at most one with its last stone
    visits += st.visits;
  }
  EXPECT_EQ(root.move.uct_state.playouts, n + 200);
  EXPECT_EQ(visits, n + 200);
  EXPECT_EQ(root.move.uct_state.visits, 0u);
  EXPECT_EQ(root.move.uct_state.sum, 0.0);
  EXPECT_TRUE(scratch.empty());
}

TEST(Iterate, SecondChoiceExpandsAndDeeperValuesComeBackNegated) {
  const UCTAlgorithm uct = uctWithLimit(1000);
  const CurlingGameState s = position(6, {{BLACK, 0.1, 0.2}, {WHITE, -0.5, -0.4}});
  Tree root;
  root.children.push_back(rootOf(s).children.front());  // the only child: always chosen
  std::vector<Tree> scratch;
  scratch.reserve(SCRATCH_CAPACITY);
  Kelp::DsfmtEngine engine(99);
  Tree& child = root.children[0];

  uct.Iterate(s, root, scratch, engine);
  EXPECT_EQ(child.move.uct_state.visits, 1u);
  EXPECT_EQ(child.move.uct_state.playouts, 1u);
  EXPECT_TRUE(child.children.empty());  // the first choice ends in a playout
  const double firstResult = child.move.uct_state.sum;
  EXPECT_EQ(scratch.capacity(), SCRATCH_CAPACITY);

  for (int i = 0; i < 30; ++i) {
    engine.next32();
    uct.Iterate(s, root, scratch, engine);
  }
  ASSERT_FALSE(child.children.empty());
  double below = 0.0;
  uint32_t belowVisits = 0;
  for (const Tree& g : child.children) {
    below += g.move.uct_state.sum;
    belowVisits += g.move.uct_state.visits;
  }
  // Every later iteration went one level deeper; the child records what its
  // children recorded, seen from the other side.
  EXPECT_EQ(belowVisits, 30u);
  EXPECT_EQ(child.move.uct_state.visits, 31u);
  EXPECT_EQ(child.move.uct_state.playouts, 31u);
  EXPECT_EQ(child.move.uct_state.sum, firstResult - below);
  EXPECT_EQ(root.move.uct_state.playouts, 31u);
  EXPECT_EQ(scratch.capacity(), SCRATCH_CAPACITY);
}

TEST(Iterate, EqualScoresPickTheEarlierChild) {
  const UCTAlgorithm uct = uctWithLimit(1000);
  const CurlingGameState s = lastStone();
  const Tree all = rootOf(s);
  for (double later : {0.0, 1e-9}) {
    Tree root;
    root.children = {all.children[6], all.children[7]};  // TEE1, TEE2
    for (Tree& c : root.children) c.move.uct_state = UCTState{1, 1, 0.0, 0.0, 0.0};
    root.children[1].move.uct_state.mean = later;
    root.move.uct_state.playouts = 2;
    std::vector<Tree> scratch;
    uct.Iterate(s, root, scratch, Kelp::DsfmtEngine(5));
    const size_t chosen = later > 0.0 ? 1 : 0;
    EXPECT_EQ(root.children[chosen].move.uct_state.visits, 2u);
    EXPECT_EQ(root.children[1 - chosen].move.uct_state.visits, 1u);
  }
}

TEST(Primitive, PassesGiveEveryChildOnePlayoutInTurn) {
  const CurlingGameState s = position(3, {{BLACK, 0.0, 0.5}, {WHITE, 0.4, -1.0}});
  const Primitive primitive{SearchParameters{40, 1, 0.25}};
  const Tree root = primitive.SearchSeeded(s, rootOf(s), 7);
  const uint32_t first = root.children.front().move.uct_state.visits;
  EXPECT_GE(first, 1u);
  uint32_t total = 0;
  uint32_t previous = first;
  for (const Tree& c : root.children) {
    const UCTState& st = c.move.uct_state;
    EXPECT_LE(st.visits, previous);  // the cut-off pass gave one more to earlier children
    EXPECT_GE(st.visits + 1, first);
    EXPECT_EQ(st.playouts, st.visits);
    EXPECT_NEAR(st.sum, st.visits * st.mean, 1e-9);
    EXPECT_TRUE(c.children.empty());  // the tree never grows
    previous = st.visits;
    total += st.visits;
  }
  EXPECT_EQ(root.move.uct_state.playouts, total);
  EXPECT_EQ(root.move.uct_state.visits, 0u);
}

Tree labelled(std::initializer_list<const char*> names) {
  Tree root;
  for (const char* n : names) {
    Tree c;
    c.move.move_state.label = n;
    root.children.push_back(c);
  }
  return root;
}

TEST(Merge, AddsCountsAndRoundsTheMeanToSinglePrecision) {
  Tree root = labelled({"A", "B"});
  Tree worker = labelled({"A", "B"});
  worker.move.uct_state.playouts = 3;
  worker.children[0].move.uct_state = UCTState{2, 2, 1.0, 0.5, 7.0};
  worker.children[1].move.uct_state = UCTState{1, 1, -1.0, -1.0, 7.0};
  Tree other = labelled({"A", "B"});
  other.move.uct_state.playouts = 1;
  other.children[0].move.uct_state = UCTState{1, 1, 0.0, 0.0, 3.0};
  ::testing::internal::CaptureStdout();
  mergeWorker(root, worker);
  mergeWorker(root, other);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  const UCTState& a = root.children[0].move.uct_state;
  EXPECT_EQ(a.visits, 3u);
  EXPECT_EQ(a.playouts, 3u);
  EXPECT_EQ(a.sum, 1.0);
  EXPECT_EQ(a.mean, 0.3333333432674408);  // the float quotient, widened
  EXPECT_EQ(root.children[1].move.uct_state.mean, -1.0);
  EXPECT_EQ(root.move.uct_state.playouts, 4u);
  EXPECT_EQ(root.move.uct_state.visits, 0u);
  EXPECT_EQ(root.move.uct_state.mean, 0.0);

  // A label mismatch is reported; the statistics are added all the same.
  Tree odd = labelled({"A", "X"});
  odd.children[1].move.uct_state = UCTState{1, 1, 2.0, 2.0, 0.0};
  ::testing::internal::CaptureStdout();
  mergeWorker(root, odd);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "equal error");
  EXPECT_EQ(root.children[1].move.uct_state.visits, 2u);
  EXPECT_EQ(root.children[1].move.uct_state.mean, 0.5);
}

// A stand-in search that marks the tree it was given: the merge must see four
// independent copies of the shuffled root.
struct MarkingSearch {
  Tree Search(CurlingGameState s, Tree root) const {
    root.move.uct_state.playouts += 5 + static_cast<uint32_t>(s.getTurn());
    for (size_t i = 0; i < root.children.size(); ++i) {
      UCTState& st = root.children[i].move.uct_state;
      st.visits += static_cast<uint32_t>(i + 1);
      st.sum += 1.0;
      st.mean = st.sum / st.visits;
    }
    return root;
  }
};

TEST(ParallelSearch, MergesFourWorkersInShuffledOrder) {
  Tree root = labelled({"0", "1", "2", "3", "4"});
  Tree merged = ParallelSearch(MarkingSearch{}, position(16, {}), root);
  EXPECT_EQ(merged.move.uct_state.playouts, 4u * 21u);  // the sum of the four workers
  const std::vector<std::string> shuffled = {"4", "0", "3", "1", "2"};
  ASSERT_EQ(merged.children.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    const UCTState& st = merged.children[i].move.uct_state;
    EXPECT_EQ(merged.children[i].move.move_state.label, shuffled[i]);
    EXPECT_EQ(st.visits, 4u * (i + 1));
    EXPECT_EQ(st.sum, 4.0);
    EXPECT_EQ(st.mean, static_cast<double>(4.0f / static_cast<float>(4 * (i + 1))));
  }
}

}  // namespace
