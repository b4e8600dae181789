// Pins down the search side bit for bit: the candidates of a few positions
// (targets, shot vectors, spins, labels), the final boards of seeded
// playouts and the statistics of a fixed number of seeded UCT iterations must
// be exactly those recorded with the digests. Speed work on candidate
// generation or on the physics must keep them.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "fixture.h"
#include "support/digest.h"

namespace {

using Kelp::BLACK;
using Kelp::Digest;
using Kelp::WHITE;

CurlingGameState early() {
  return position(13, {{BLACK, 0.1, -3.2}, {WHITE, -0.4, 0.3}, {BLACK, 0.6, -1.0}});
}

CurlingGameState midEnd() {
  return position(10, {{BLACK, 0.1, 0.2},
                       {BLACK, -0.6, -0.9},
                       {BLACK, 0.8, -2.5},
                       {WHITE, 0.3, 0.5},
                       {WHITE, -1.2, 0.4},
                       {WHITE, 0.5, -1.6}});
}

CurlingGameState crowded() {
  return position(1, {{BLACK, 0.1, 0.2},
                      {BLACK, -0.6, -0.9},
                      {BLACK, 0.8, -2.5},
                      {BLACK, 0.0, -4.0},
                      {BLACK, 1.2, 0.9},
                      {BLACK, -1.4, -0.2},
                      {BLACK, 0.4, -1.3},
                      {BLACK, -0.3, 1.5},
                      {WHITE, 0.3, 0.5},
                      {WHITE, -1.2, 0.4},
                      {WHITE, 0.5, -1.6},
                      {WHITE, -0.2, 1.1},
                      {WHITE, 0.9, -0.4},
                      {WHITE, -0.7, -2.2},
                      {WHITE, 1.5, -0.6}});
}

void addMove(Digest& d, const CurlingMoveState& m) {
  d.add(m.x);
  d.add(m.y);
  d.add(m.vx);
  d.add(m.vy);
  d.add(int64_t{m.spin});
  d.add(m.label);
}

// Statistics and moves of the whole tree, depth first in child order.
void addTree(Digest& d, const Tree& t) {
  addMove(d, t.move.move_state);
  const UCTState& s = t.move.uct_state;
  d.add(int64_t{s.visits});
  d.add(int64_t{s.playouts});
  d.add(s.sum);
  d.add(s.mean);
  d.add(static_cast<int64_t>(t.children.size()));
  for (const Tree& c : t.children) addTree(d, c);
}

void expectDigest(const char* what, const Digest& d, uint64_t expected) {
  std::printf("%-22s 0x%016" PRIx64 "\n", what, d.value());
  EXPECT_EQ(d.value(), expected) << what;
}

TEST(SearchReplay, CandidatesOfFixedPositions) {
  const std::pair<const char*, CurlingGameState> positions[] = {{"empty", position(16, {})},
                                                                {"early", early()},
                                                                {"mid-end", midEnd()},
                                                                {"crowded", crowded()}};
  const uint64_t expected[] = {0xeba74244cb49ec35ull, 0x5101f68d60e0bfefull, 0x9c59436bc052305cull,
                               0xbe30afd177ae16c0ull};
  for (size_t p = 0; p < std::size(positions); ++p) {
    Digest d;
    const std::vector<Tree> c = candidates(positions[p].second);
    d.add(static_cast<int64_t>(c.size()));
    for (const Tree& t : c) addMove(d, t.move.move_state);
    expectDigest(positions[p].first, d, expected[p]);
  }
}

TEST(SearchReplay, SeededPlayoutsAndIterations) {
  std::vector<Tree> scratch;
  scratch.reserve(SCRATCH_CAPACITY);
  Digest playouts;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    playouts.add(Playout(position(16, {}), scratch, Kelp::DsfmtEngine(seed)));
    playouts.add(Playout(midEnd(), scratch, Kelp::DsfmtEngine(seed)));
  }
  expectDigest("playouts", playouts, 0x62d6b4921c334b74ull);

  // Iterations as a seeded worker runs them, without its clock.
  const UCTAlgorithm uct{SearchParameters{0, 1, 0.25}};
  const std::pair<const char*, CurlingGameState> roots[] = {{"uct empty", position(16, {})},
                                                            {"uct mid-end", midEnd()}};
  const uint64_t expected[] = {0x86deb099e3849cefull, 0x363cbee1fb936592ull};
  for (size_t r = 0; r < std::size(roots); ++r) {
    Tree root;
    roots[r].second.getCandidates(root.children);
    const Kelp::DsfmtEngine engine(77);
    for (int i = 0; i < 300; ++i) uct.Iterate(roots[r].second, root, scratch, engine);
    EXPECT_EQ(root.move.uct_state.playouts, 300u);
    Digest d;
    addTree(d, root);
    expectDigest(roots[r].first, d, expected[r]);
  }
}

}  // namespace
