// The UCT and flat searches and the players' parallel search: statistics,
// selection, expansion, the merge and the choice of the best child.
#include <atomic>

#include "fixture.h"
#include "player/ai.h"

namespace {

using Kelp::BLACK;
using Kelp::WHITE;

const UCTAlgorithm UCT{SearchParameters{1000, 1, 0.25}};

Tree rootOf(const CurlingGameState& s) {
  Tree root;
  s.getCandidates(root.children);
  return root;
}

TEST(Search, EveryUctIterationStartsFromTheEngineAsSeeded) {
  // Whatever number of iterations the clock allows, the tree is the one that
  // as many iterations give, each handed the engine fresh from its seed.
  const CurlingGameState s = position(3, {{BLACK, 0.1, 0.2}, {WHITE, -0.5, -0.4}});
  const Tree searched = UCTAlgorithm{SearchParameters{150, 1, 0.25}}.SearchSeeded(s, rootOf(s), 5);
  const uint32_t n = searched.move.uct_state.playouts;
  ASSERT_GE(n, 2u);
  Tree replayed = rootOf(s);
  std::vector<Tree> scratch;
  for (uint32_t i = 0; i < n; ++i) UCT.Iterate(s, replayed, scratch, Kelp::DsfmtEngine(5));
  EXPECT_EQ(treeDigest(searched), treeDigest(replayed));
}

TEST(Iterate, SecondChoiceExpandsAndDeeperValuesComeBackNegated) {
  const CurlingGameState s = position(6, {{BLACK, 0.1, 0.2}, {WHITE, -0.5, -0.4}});
  Tree root;
  root.children.push_back(rootOf(s).children.front());  // the only child: always chosen
  Tree& child = root.children[0];
  std::vector<Tree> scratch;
  scratch.reserve(SCRATCH_CAPACITY);
  Kelp::DsfmtEngine engine(99);
  UCT.Iterate(s, root, scratch, engine);
  EXPECT_TRUE(child.children.empty());  // the first choice ends in a playout
  const double playout = child.move.uct_state.sum;
  for (int i = 0; i < 30; ++i) {
    engine.next32();
    UCT.Iterate(s, root, scratch, engine);
  }
  double below = 0.0;
  uint32_t belowVisits = 0;
  for (const Tree& g : child.children) {
    below += g.move.uct_state.sum;
    belowVisits += g.move.uct_state.visits;
  }
  EXPECT_EQ(belowVisits, 30u);
  EXPECT_EQ(child.move.uct_state.visits, 31u);
  EXPECT_EQ(child.move.uct_state.playouts, 31u);
  EXPECT_EQ(child.move.uct_state.sum, playout - below);  // seen from the other side
  EXPECT_EQ(scratch.capacity(), SCRATCH_CAPACITY);
  // Two root children with the given statistics; which does the next
  // iteration visit?
  const auto next = [&](UCTState a, UCTState b, uint32_t playouts) {
    Tree two;
    two.children = {rootOf(s).children[6], rootOf(s).children[7]};
    two.children[0].move.uct_state = a;
    two.children[1].move.uct_state = b;
    two.move.uct_state.playouts = playouts;
    UCT.Iterate(s, two, scratch, engine);
    return two.children[1].move.uct_state.visits > b.visits ? 1 : 0;
  };
  // Exploration grows with ln N, N the parent's playouts: with N = 3 the
  // second child (two visits, mean 0.115) scores above the first (one
  // visit, mean 0); ln(N + 1) would reverse that.
  EXPECT_EQ(next({1, 1, 0.0, 0.0, 0.0}, {2, 2, 0.23, 0.115, 0.0}, 3), 1);
  // Equal scores pick the earlier child; a strictly better later one wins.
  EXPECT_EQ(next({1, 1, 0.0, 0.0, 0.0}, {1, 1, 0.0, 0.0, 0.0}, 2), 0);
  EXPECT_EQ(next({1, 1, 0.0, 0.0, 0.0}, {1, 1, 0.0, 1e-9, 0.0}, 2), 1);
}

TEST(Primitive, EachThrowDrawsFromTheSearchEngineEachPlayoutFromACopy) {
  // Two throws left: each child's shot, then a playout of one throw.
  const CurlingGameState s = position(2, {{BLACK, 0.0, 0.5}, {WHITE, 0.4, -1.0}});
  const Tree searched = Primitive{SearchParameters{100, 1, 0.25}}.SearchSeeded(s, rootOf(s), 11);
  // The same playouts one after another, pass by pass (every child one
  // playout in turn): the throws advance one engine, each playout starts
  // from a copy of it as it stands.
  Tree replayed = rootOf(s);
  Kelp::DsfmtEngine e(11);
  std::vector<Tree> scratch;
  for (uint32_t n = 0; n < searched.move.uct_state.playouts; ++n) {
    UCTState& st = replayed.children[n % replayed.children.size()].move.uct_state;
    CurlingGameState next = s;
    next.executeShot(replayed.children[n % replayed.children.size()].move.move_state, e);
    next = Playout(next, scratch, e);
    st.sum += CurlingGameState::reward(s, next);
    st.visits += 1;
  }
  ASSERT_GE(searched.move.uct_state.playouts, 2u);
  for (size_t i = 0; i < replayed.children.size(); ++i) {
    EXPECT_EQ(searched.children[i].move.uct_state.visits,
              replayed.children[i].move.uct_state.visits);
    EXPECT_NEAR(searched.children[i].move.uct_state.sum, replayed.children[i].move.uct_state.sum,
                1e-9)
        << "child " << i;
  }
}

TEST(Primitive, APassIsCutByTheTimeLimit) {
  // Twenty copies of the empty sheet's candidates: a pass of full-end
  // playouts that no machine finishes in the one millisecond allowed.
  const CurlingGameState s = position(16, {});
  Tree root;
  for (int k = 0; k < 20; ++k) s.getCandidates(root.children);
  const Tree searched = Primitive{SearchParameters{1, 1, 0.25}}.SearchSeeded(s, root, 3);
  const uint32_t n = searched.move.uct_state.playouts;
  EXPECT_GE(n, 1u);
  EXPECT_LT(n, root.children.size());
  for (size_t i = 0; i < root.children.size(); ++i)
    EXPECT_EQ(searched.children[i].move.uct_state.visits, i < n ? 1u : 0u) << i;
}

// A stand-in search that marks the copy of the root it was given.
struct MarkingSearch {
  Tree Search(CurlingGameState, Tree root) const {
    root.move.uct_state.playouts += 5;
    for (size_t i = 0; i < root.children.size(); ++i) {
      root.children[i].move.uct_state = UCTState{static_cast<uint32_t>(i + 1), 0, 1.0, 0.0, 0.0};
    }
    return root;
  }
};

TEST(ParallelSearch, MergesFourWorkersInShuffledOrderInSinglePrecision) {
  Tree root;
  for (const char* label : {"0", "1", "2", "3", "4"}) {
    root.children.emplace_back();
    root.children.back().move.move_state.label = label;
  }
  const Tree merged = ParallelSearch(MarkingSearch{}, position(16, {}), root);
  EXPECT_EQ(merged.move.uct_state.playouts, 20u);  // the sum of the four workers
  EXPECT_EQ(merged.move.uct_state.mean, 0.0);
  const char* shuffled[] = {"4", "0", "3", "1", "2"};
  for (size_t i = 0; i < 5; ++i) {
    const UCTState& st = merged.children[i].move.uct_state;
    EXPECT_EQ(merged.children[i].move.move_state.label, shuffled[i]);
    EXPECT_EQ(st.visits, 4 * (i + 1));
    EXPECT_EQ(st.mean, static_cast<double>(4.0f / (4.0f * (i + 1))));
  }
  EXPECT_EQ(merged.children[2].move.uct_state.mean, 0.3333333432674408);  // 4 over 12
}

// Stand-in workers that return 1, 2, 3 and 4 iterations, in whatever order
// they run; child i gets i + 1 visits.
std::atomic<uint32_t> workerCalls{0};
struct CountingSearch {
  Tree Search(CurlingGameState, Tree root) const {
    root.move.uct_state.playouts = ++workerCalls;
    for (size_t i = 0; i < root.children.size(); ++i)
      root.children[i].move.uct_state = UCTState{static_cast<uint32_t>(i + 1), 0, 0.0, 0.0, 0.0};
    return root;
  }
};

TEST(Think, CountIsTheWorkersSumAndEachPlayerChoosesByItsOwnRule) {
  const CurlingGameState s = position(10, {{WHITE, 0.2, 0.1}});
  workerCalls = 0;
  const ThinkResult r = thinkWith(CountingSearch{}, s, &Pebble_original::choose);
  EXPECT_EQ(std::get<1>(r), 1 + 2 + 3 + 4);
  EXPECT_EQ(std::get<2>(r), 38);
  Tree expected = rootOf(s);
  shuffleChildren(expected.children);
  const CurlingMoveState& most = expected.children.back().move.move_state;  // 4 * 38 visits
  EXPECT_EQ(std::get<0>(r).move_state.label, most.label);
  EXPECT_EQ(std::get<0>(r).move_state.vy, -most.vy);
  EXPECT_EQ(std::get<0>(r).uct_state.visits, 4u * 38);

  // Two children: one with more visits, the other with the higher mean.
  Tree two;
  two.children.resize(2);
  two.children[0].move.uct_state = UCTState{9, 9, 4.5, 0.5, 0.0};
  two.children[1].move.uct_state = UCTState{3, 3, 4.5, 1.5, 0.0};
  EXPECT_EQ(&Pebble_original::choose(two), &two.children[0]);
  EXPECT_EQ(&PrimitiveR::choose(two), &two.children[1]);
  std::swap(two.children[0].move, two.children[1].move);
  EXPECT_EQ(&Pebble_original::choose(two), &two.children[1]);
  EXPECT_EQ(&PrimitiveR::choose(two), &two.children[0]);
}

}  // namespace
