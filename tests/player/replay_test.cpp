// Pins down the search side bit for bit: the candidates of a few positions
// (targets, shot vectors, spins, labels), the final boards of seeded
// playouts and the statistics of a fixed number of seeded UCT iterations must
// be exactly those recorded with the digests. Speed work on candidate
// generation or on the physics must keep them.
#include <tuple>

#include "fixture.h"

namespace {

using Kelp::BLACK, Kelp::WHITE;

uint64_t candidatesDigest(const CurlingGameState& s) {
  Kelp::Digest d;
  const std::vector<Tree> c = candidates(s);
  d.add(static_cast<int64_t>(c.size()));
  for (const Tree& t : c) addMove(d, t.move.move_state);
  return d.value();
}

// Iterations as a seeded worker runs them, without its clock.
uint64_t iterationsDigest(const CurlingGameState& s) {
  const UCTAlgorithm uct{SearchParameters{0, 1, 0.25}};
  Tree root = rootOf(s);
  const Kelp::DsfmtEngine engine(77);
  for (int i = 0; i < 300; ++i) uct.Iterate(s, root, engine);
  return treeDigest(root);
}

TEST(SearchReplay, CandidatesPlayoutsAndIterationsGiveTheRecordedDigests) {
  const CurlingGameState empty = CurlingGameState(), midEnd(Kelp::boards::midEnd6()),
                         crowded(Kelp::boards::crowded(1, 8, 7)),
                         early = position(
                             13, {{BLACK, 0.1, -3.2}, {WHITE, -0.4, 0.3}, {BLACK, 0.6, -1.0}});
  Kelp::Digest playouts;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    playouts.add(Playout(empty, Kelp::DsfmtEngine(seed)));
    playouts.add(Playout(midEnd, Kelp::DsfmtEngine(seed)));
  }
  const std::tuple<const char*, uint64_t, uint64_t> cases[] = {
      {"empty", candidatesDigest(empty), 0xeba74244cb49ec35ull},
      {"early", candidatesDigest(early), 0x5101f68d60e0bfefull},
      {"mid-end", candidatesDigest(midEnd), 0x9c59436bc052305cull},
      {"crowded", candidatesDigest(crowded), 0xbe30afd177ae16c0ull},
      {"playouts", playouts.value(), 0x62d6b4921c334b74ull},
      {"uct empty", iterationsDigest(empty), 0x86deb099e3849cefull},
      {"uct mid-end", iterationsDigest(midEnd), 0x363cbee1fb936592ull},
  };
  for (const auto& [what, got, expected] : cases)
    EXPECT_EQ(got, expected) << what << " 0x" << std::hex << got;
}

}  // namespace
