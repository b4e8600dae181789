// Pins down every result of the fast shot path bit for bit: a fixed seeded
// sequence of throws on a few boards must give exactly the boards it gave
// when the digests were recorded. Speed work on the physics must keep these
// digests; a changed digest means some board after some throw changed.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "kelpsimulator/shot.h"
#include "support/boards.h"
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
  const double f = u > 0.97 ? 36.0 / std::hypot(v.vx, v.vy) : u < 0.5 ? 1.0 : 1.0 + (u - 0.5) * 0.7;
  return {v.vx * f, v.vy * f, spin};
}

TEST(ShotReplay, FixedThrowSequencesGiveTheRecordedBoards) {
  const struct {
    const char* name;
    ThinkBoard board;
    uint64_t expected;
  } cases[] = {
      {"empty", ThinkBoard(), 0xe693ff75661d41e4ull},
      {"one stone", boardWith(15, {{BLACK, 0.2, -0.5}}), 0xf7ed8f9fbe3dd5ccull},
      {"protected guard", boardWith(14, {{BLACK, 0.1, -3.0}, {WHITE, -0.3, 0.4}}),
       0xd43dff24e17137e2ull},
      {"mid-end", boards::midEnd7(), 0xc2497eacea3c8f63ull},
      {"crowded", boards::crowded(1, 8, 7), 0x34e91c3344772b96ull},
  };
  int seen[3] = {0, 0, 0};
  uint32_t seed = 1000;
  for (const auto& c : cases) {
    // 3000 single throws from copies of the board, then 60 chains to the
    // end of the end.
    DsfmtEngine shots(seed), error(seed + 1);
    seed += 10;
    Digest digest;
    for (int i = 0; i < 3000 + 60; ++i) {
      ThinkBoard b = c.board;
      do {
        const ShotOutcome o = executeShot(b, randomShot(shots), error);
        ++seen[o];
        digest.add(int64_t{o});
        digest.add(b);
      } while (i >= 3000 && b.getTurn() > 0);
    }
    std::printf("%-16s 0x%016" PRIx64 "\n", c.name, digest.value());
    EXPECT_EQ(digest.value(), c.expected) << c.name;
  }
  // The sequences went through every outcome: out of play or foul, a stone
  // added without contact, and a board rebuilt after contact.
  EXPECT_GT(seen[SHOT_UNCHANGED], 100);
  EXPECT_GT(seen[SHOT_ADDED], 1000);
  EXPECT_GT(seen[SHOT_REBUILT], 1000);
}

}  // namespace
}  // namespace Kelp
