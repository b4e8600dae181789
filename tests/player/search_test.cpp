// The UCT and flat searches and the players' parallel search: statistics,
// selection, expansion, the shuffle, the merge and the choice of the best
// child.
#include <atomic>

#include "fixture.h"
#include "player/ai.h"

namespace {

using Kelp::BLACK, Kelp::WHITE;

const UCTAlgorithm UCT{SearchParameters{1000, 1, 0.25}};

TEST(Search, EveryUctIterationStartsFromTheEngineAsSeeded) {
  // Whatever number of iterations the clock allows, the tree is the one that
  // as many iterations give, each handed the engine fresh from its seed.
  const CurlingGameState s = position(3, {{BLACK, 0.1, 0.2}, {WHITE, -0.5, -0.4}});
  const Tree searched = UCTAlgorithm{SearchParameters{150, 1, 0.25}}.SearchSeeded(s, rootOf(s), 5);
  ASSERT_GE(searched.move.uct_state.playouts, 2u);
  Tree replayed = rootOf(s);
  for (uint32_t i = 0; i < searched.move.uct_state.playouts; ++i)
    UCT.Iterate(s, replayed, Kelp::DsfmtEngine(5));
  // A budget's exact count, whatever the time limit says, is checked in
  // the players' tests and end to end.
  EXPECT_EQ(treeDigest(searched), treeDigest(replayed));
}

TEST(Iterate, SecondChoiceExpandsAndDeeperValuesComeBackNegated) {
  const CurlingGameState s = position(6, {{BLACK, 0.1, 0.2}, {WHITE, -0.5, -0.4}});
  const std::vector<Tree> list = candidates(s);
  Tree root;
  root.children = {list.front()};  // the only child: always chosen
  const UCTState& child = root.children[0].move.uct_state;
  Kelp::DsfmtEngine engine(99);
  UCT.Iterate(s, root, engine);
  EXPECT_TRUE(root.children[0].children.empty());  // the first choice ends in a playout
  const double playout = child.sum;
  for (int i = 0; i < 30; ++i) {
    engine.next32();
    UCT.Iterate(s, root, engine);
  }
  UCTState below;
  for (const Tree& g : root.children[0].children) addStatistics(below, g.move.uct_state);
  EXPECT_EQ(std::tuple(below.visits, child.visits, child.playouts), std::tuple(30u, 31u, 31u));
  EXPECT_EQ(child.sum, playout - below.sum);  // seen from the other side
  // Which of two root children with the given statistics does the next
  // iteration visit? Exploration grows with ln N, N the parent's playouts:
  // with N = 3 the second child (two visits, mean 0.115) scores above the
  // first (one visit, mean 0); ln(N + 1) would reverse that. Equal scores
  // pick the earlier child; a strictly better later one wins.
  const struct {
    UCTState a, b;
    uint32_t playouts, visited;
  } rows[] = {{{1, 1, 0.0, 0.0}, {2, 2, 0.23, 0.115}, 3, 1},
              {{1, 1, 0.0, 0.0}, {1, 1, 0.0, 0.0}, 2, 0},
              {{1, 1, 0.0, 0.0}, {1, 1, 0.0, 1e-9}, 2, 1}};
  for (const auto& r : rows) {
    Tree two;
    two.children = {list[6], list[7]};
    two.children[0].move.uct_state = r.a;
    two.children[1].move.uct_state = r.b;
    two.move.uct_state.playouts = r.playouts;
    UCT.Iterate(s, two, engine);
    EXPECT_EQ(two.children[1].move.uct_state.visits - r.b.visits, r.visited) << r.playouts;
  }
}

TEST(Primitive, EachThrowDrawsFromTheSearchEngineEachPlayoutFromACopy) {
  // Two throws left: each child's shot, then a playout of one throw.
  const CurlingGameState s = position(2, {{BLACK, 0.0, 0.5}, {WHITE, 0.4, -1.0}});
  const Tree searched = Primitive{SearchParameters{100, 1, 0.25}}.SearchSeeded(s, rootOf(s), 11);
  ASSERT_GE(searched.move.uct_state.playouts, 2u);
  // The same playouts one after another, pass by pass (every child one
  // playout in turn): the throws advance one engine, each playout starts
  // from a copy of it as it stands.
  Tree replayed = rootOf(s);
  const size_t n = replayed.children.size();
  Kelp::DsfmtEngine e(11);
  for (uint32_t k = 0; k < searched.move.uct_state.playouts; ++k) {
    Move& m = replayed.children[k % n].move;
    CurlingGameState next = s;
    next.executeShot(m.move_state, e);
    m.uct_state.sum += CurlingGameState::reward(s, Playout(next, e));
    m.uct_state.visits += 1;
  }
  for (size_t i = 0; i < n; ++i) {
    const UCTState &got = searched.children[i].move.uct_state,
                   &want = replayed.children[i].move.uct_state;
    EXPECT_EQ(got.visits, want.visits) << i;
    EXPECT_NEAR(got.sum, want.sum, 1e-9) << i;
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
  EXPECT_TRUE(n >= 1 && n < root.children.size()) << n;
  for (size_t i = 0; i < root.children.size(); ++i)
    EXPECT_EQ(searched.children[i].move.uct_state.visits, i < n ? 1u : 0u) << i;
}

// A stand-in worker: the k-th call reports k iterations (whatever order the
// workers run in) and gives child i i + 1 visits and a sum of 1.
std::atomic<uint32_t> workerCalls{0};
struct StandInSearch {
  Tree Search(CurlingGameState, Tree root) const {
    root.move.uct_state.playouts = ++workerCalls;
    for (size_t i = 0; i < root.children.size(); ++i)
      root.children[i].move.uct_state = UCTState{static_cast<uint32_t>(i + 1), 0, 1.0, 0.0, 0.0};
    return root;
  }
};

TEST(ParallelSearch, MergesFourWorkersInShuffledOrderInSinglePrecision) {
  Tree root;
  root.children.resize(5);
  for (int i = 0; i < 5; ++i) root.children[i].move.move_state.label = std::to_string(i);
  workerCalls = 0;
  const Tree merged = ParallelSearch(StandInSearch{}, position(16, {}), root);
  EXPECT_EQ(merged.move.uct_state.playouts, 1u + 2 + 3 + 4);
  EXPECT_EQ(merged.move.uct_state.mean, 0.0);
  // std::shuffle with a default-seeded std::mt19937 (first outputs 3499211612,
  // 581869302, 3890346734, 3586334585): 01234 -> 10234 -> 20134 -> 20314 ->
  // 40312.
  std::string order;
  for (size_t i = 0; i < 5; ++i) {
    const UCTState& st = merged.children[i].move.uct_state;
    order += merged.children[i].move.move_state.label;
    EXPECT_EQ(st.visits, 4 * (i + 1));
    EXPECT_EQ(st.mean, static_cast<double>(4.0f / (4.0f * (i + 1))));
  }
  EXPECT_EQ(order, "40312");
}

TEST(Shuffle, DrawRejectsOnlyTheIncompleteLastBlock) {
  // Outputs of a scripted generator and the draw for i. i = 2: 0xFFFFFFFF / 3
  // reaches the limit 0xFFFFFFFF / 3, drawn again; i = 3: 0xFFFFFFFF mod 4 = 3
  // = i, every block complete; i = 5: 4294967292 / 6 = 715827882 = the limit.
  const struct {
    uint32_t i, first, second, draw, calls;
  } rows[] = {{2, 0xFFFFFFFFu, 7u, 1u, 2},
              {3, 0xFFFFFFFFu, 0u, 3u, 1},
              {5, 4294967292u, 4294967291u, 4294967291u % 6, 2}};
  for (const auto& r : rows) {
    uint32_t calls = 0;
    auto script = [&] { return ++calls == 1 ? r.first : r.second; };
    EXPECT_EQ(shuffleDraw(script, r.i), r.draw) << r.i;
    EXPECT_EQ(calls, r.calls) << r.i;
  }
}

TEST(Think, CountIsTheWorkersSumAndEachPlayerChoosesByItsOwnRule) {
  const CurlingGameState s = position(10, {{WHITE, 0.2, 0.1}});
  workerCalls = 0;
  const ThinkResult r = thinkWith(StandInSearch{}, s, &Pebble_original::choose);
  EXPECT_EQ(std::get<1>(r), 1 + 2 + 3 + 4);
  EXPECT_EQ(std::get<2>(r), 38);
  Tree expected = rootOf(s);
  shuffleChildren(expected.children);  // a fresh generator every call: the same order
  const CurlingMoveState& most = expected.children.back().move.move_state;  // 4 * 38 visits
  EXPECT_EQ(std::get<0>(r).move_state.label, most.label);
  EXPECT_EQ(std::get<0>(r).move_state.vy, -most.vy);
  EXPECT_EQ(std::get<0>(r).uct_state.visits, 4u * 38);
  // Two children, either way round: one with more visits, the other with
  // the higher mean.
  Tree two;
  two.children.resize(2);
  for (int more = 0; more < 2; ++more) {
    two.children[more].move.uct_state = UCTState{9, 9, 4.5, 0.5, 0.0};
    two.children[1 - more].move.uct_state = UCTState{3, 3, 4.5, 1.5, 0.0};
    EXPECT_EQ(&Pebble_original::choose(two), &two.children[more]);
    EXPECT_EQ(&PrimitiveR::choose(two), &two.children[1 - more]);
  }
}

}  // namespace
