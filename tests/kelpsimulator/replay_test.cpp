// Pins down every result of the fast shot path bit for bit: a fixed seeded
// sequence of throws on a few boards must give exactly the boards it gave
// when the digests were recorded. Speed work on the physics must keep these
// digests; a changed digest means some board after some throw changed.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "kelpsimulator/shot.h"
#include "support/boards.h"
#include "support/digest.h"
#include "support/tables.h"

namespace Kelp {
namespace {

// Draws into and around the house, take-outs and raises at up to 1.35 times
// the draw speed, and now and then a throw beyond MAX_SPEED (clamped).
ShotVector randomShot(DsfmtEngine& e) {
  const double x = (e.closeOpen12() - 1.5) * 4.0;
  const double y = (e.closeOpen12() - 1.0) * 9.0 - 5.0;
  const int spin = e.closeOpen12() < 1.5 ? 0 : 1;
  const Velocity v = shotForTarget(x, y, spin);
  const double u = e.closeOpen12() - 1.0;
  double f = u < 0.5 ? 1.0 : 1.0 + (u - 0.5) * 0.7;
  if (u > 0.97) f = 36.0 / std::hypot(v.vx, v.vy);
  return {v.vx * f, v.vy * f, spin};
}

struct Outcomes {
  int n[3] = {0, 0, 0};
};

// count single throws from copies of start, then chains from start to the
// end of the end.
uint64_t replay(const ThinkBoard& start, int count, int chains, uint32_t seed, Outcomes& seen) {
  DsfmtEngine shots(seed);
  DsfmtEngine error(seed + 1);
  Digest digest;
  for (int i = 0; i < count; ++i) {
    ThinkBoard b = start;
    const ShotOutcome o = executeShot(b, randomShot(shots), error);
    ++seen.n[o];
    digest.add(int64_t{o});
    digest.add(b);
  }
  for (int c = 0; c < chains; ++c) {
    ThinkBoard b = start;
    while (b.getTurn() > 0) {
      const ShotOutcome o = executeShot(b, randomShot(shots), error);
      ++seen.n[o];
      digest.add(int64_t{o});
      digest.add(b);
    }
  }
  return digest.value();
}

struct Case {
  const char* name;
  ThinkBoard board;
  uint64_t expected;
};

TEST(ShotReplay, FixedThrowSequencesGiveTheRecordedBoards) {
  const Case cases[] = {
      {"empty", ThinkBoard(), 0xe693ff75661d41e4ull},
      {"one stone", boardWith(15, {{BLACK, 0.2, -0.5}}), 0xf7ed8f9fbe3dd5ccull},
      {"protected guard", boardWith(14, {{BLACK, 0.1, -3.0}, {WHITE, -0.3, 0.4}}),
       0xd43dff24e17137e2ull},
      {"mid-end",
       boardWith(9, {{BLACK, 0.0, -3.0},
                     {BLACK, 0.4, 0.2},
                     {BLACK, -0.9, 1.0},
                     {BLACK, -1.2, -1.4},
                     {WHITE, 0.5, -2.5},
                     {WHITE, -0.2, -0.1},
                     {WHITE, 1.1, 0.8}}),
       0xc2497eacea3c8f63ull},
      {"crowded",
       boardWith(1, {{BLACK, 0.1, 0.2},
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
                     {WHITE, 1.5, -0.6}}),
       0x34e91c3344772b96ull},
  };
  Outcomes seen;
  uint32_t seed = 1000;
  for (const Case& c : cases) {
    const uint64_t got = replay(c.board, 3000, 60, seed, seen);
    seed += 10;
    std::printf("%-16s 0x%016" PRIx64 "\n", c.name, got);
    EXPECT_EQ(got, c.expected) << c.name;
  }
  // The sequences went through every outcome: out of play or foul, a stone
  // added without contact, and a board rebuilt after contact.
  EXPECT_GT(seen.n[SHOT_UNCHANGED], 100);
  EXPECT_GT(seen.n[SHOT_ADDED], 1000);
  EXPECT_GT(seen.n[SHOT_REBUILT], 1000);
  std::printf("outcomes: %d unchanged, %d added, %d rebuilt\n", seen.n[0], seen.n[1], seen.n[2]);
}

}  // namespace
}  // namespace Kelp
