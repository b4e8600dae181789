#include "kelpsimulator/fastsimulator.h"

#include <gtest/gtest.h>

#include "kelpsimulator/shot.h"
#include "support/boards.h"
#include "support/tables.h"

namespace Kelp {
namespace {

FSStone stone(double x, double y, double v = 0.0) {
  FSStone s;
  s.x = x, s.y = y, s.v = v, s.w = CURL_SPIN;
  return s;
}

// An FSBoard built by hand: every moving stone may hit every other stone.
FSBoard boardOf(std::initializer_list<FSStone> stones) {
  FSBoard b;
  int n = 0;
  for (const FSStone& s : stones) {
    b.aw_stone[n] = s;
    (s.v > 0.0 ? b.awakes : b.asleeps).set(n++);
    ++(s.v > 0.0 ? b.awake_count : b.asleep_count);
  }
  forEach(b.awakes, [&](int i) {
    b.aw_stone[i].asleeps = b.asleeps;
    b.aw_stone[i].awakes = andNot(b.awakes, bitSet(1u << i));
  });
  return b;
}

// A resting stone at height y that a stone sent up the centre line at 4 m/s
// just misses: its lateral offset found by bisection from the touching side
// (x = 0). A marker stone shows whether simulate rebuilt the board at all.
FSStone nearMiss(double y, double missX) {
  double touchX = 0.0;
  for (int i = 0; i < 60; ++i) {
    const double m = 0.5 * (touchX + missX);
    ThinkBoard out = boardWith(10, {{BLACK, 1.5, 1.5}}, false);
    FSBoard b = boardOf({stone(0.0, -5.0, 4.0), stone(m, y)});
    simulate(out, b);
    (out.stones[BLACK][0].x == m || out.stones[BLACK][1].x == m ? missX : touchX) = m;
  }
  return stone(missX, y);
}

TEST(FSBoard, ManyEventsEndInTheExactModel) {
  // Near misses by a hair: every pass closes only part of the tiny gap, so
  // each one costs about a hundred events.
  FSBoard b = boardOf(
      {stone(0.0, -5.0, 4.0), nearMiss(-4.85, 0.6), nearMiss(-4.55, -0.6), nearMiss(-4.45, 0.6)});
  ThinkBoard out = boardWith(10, {}, false);
  EXPECT_EQ(simulate(out, b), 2);
  EXPECT_EQ(b.events, EVENT_LIMIT + 1);
  EXPECT_EQ(out.count[BLACK], 4);  // the exact model finished the shot
}

// The event loop relies on the quick check saying exactly what exam() says.
// Consistent boards, then the same boards with one flaw each: overlapping
// sets, a candidate set naming a slot outside the board's sets or the stone
// itself, nine stones of a colour (and eight of each, which is fine).
TEST(FSBoard, QuickCheckAgreesWithExam) {
  DsfmtEngine e(99);
  auto pick = [&](bitSet s) {  // a random member of a non-empty set
    for (int skip = static_cast<int>(e.next32() % s.size()); skip > 0; --skip) s.popLowest();
    return s.lowest();
  };
  int failing = 0;
  for (int n = 0; n < 3000; ++n) {
    // 0: consistent; 6: nine of one colour among sixteen; 7: eight of each;
    // 8: nine stones, all of one colour; 9: eight stones of one colour.
    const int flaw = n % 10, k = n / 10;
    FSBoard f;
    const uint32_t slots = flaw == 6 || flaw == 7 ? 0xffffu
                           : flaw == 8            ? 0x1ffu << (k % 8)
                           : flaw == 9            ? 0xffu << (k % 9)
                                                  : e.next32() & 0xffffu;
    const uint32_t split = e.next32() | 1u;  // slot 0 moves if present
    f.awakes = bitSet(slots & split);
    f.asleeps = bitSet(slots & ~split);
    for (int i = 0; i < 16; ++i) {
      FSStone& s = f.aw_stone[i];
      s.state = flaw >= 8 ? k % 2 : i % 2;
      s.awakes = andNot(f.awakes, bitSet(1u << i)) & bitSet(e.next32());
      s.asleeps = andNot(f.asleeps, bitSet(1u << i)) & bitSet(e.next32());
    }
    const bitSet outside = ~(f.awakes | f.asleeps) & bitSet(0xffffu);
    if (!f.awakes.empty()) {
      const int self = pick(f.awakes);
      FSStone& m = f.aw_stone[self];
      if (flaw == 1) f.asleeps.set(pick(f.awakes));
      if ((flaw == 2 || flaw == 3) && !outside.empty())
        (flaw == 2 ? m.awakes : m.asleeps).set(pick(outside | (flaw == 2 ? f.asleeps : f.awakes)));
      if (flaw == 4 || flaw == 5) (flaw == 4 ? m.awakes : m.asleeps).set(self);
    }
    if (flaw == 6) f.aw_stone[k % 16].state ^= 1u;
    ::testing::internal::CaptureStderr();
    const bool full = f.exam();
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(f.plausible(), full) << "board " << n << " flaw " << flaw << ": " << said;
    EXPECT_EQ(said.empty(), full);
    EXPECT_TRUE(full || (flaw != 0 && flaw != 7 && flaw != 9)) << n;
    failing += !full;
  }
  EXPECT_GT(failing, 1200);  // most flawed boards came out flawed
}

}  // namespace
}  // namespace Kelp
