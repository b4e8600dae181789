#include "kelpsimulator/fastsimulator.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kelpsimulator/shot.h"
#include "kelpsimulator/simulator.h"
#include "support/boards.h"
#include "support/tables.h"

namespace Kelp {
namespace {

FSStone stone(double x, double y, double th = 0.0, double v = 0.0, uint32_t state = 0) {
  FSStone s;
  s.x = x, s.y = y, s.th = th, s.v = v, s.w = CURL_SPIN, s.state = state;
  return s;
}

// An FSBoard built by hand: every moving stone may hit every other stone.
struct Builder {
  FSBoard b;
  int n = 0;
  Builder& add(const FSStone& s) {
    b.aw_stone[n] = s;
    (s.v > 0.0 ? b.awakes : b.asleeps).set(n++);
    (s.v > 0.0 ? b.awake_count : b.asleep_count) += 1;
    return *this;
  }
  FSBoard& done() {
    forEach(b.awakes, [&](int i) {
      b.aw_stone[i].asleeps = b.asleeps;
      b.aw_stone[i].awakes = andNot(b.awakes, bitSet(1u << i));
    });
    return b;
  }
};

// The think board simulate writes into; its marker stone shows whether it did.
ThinkBoard marked() {
  ThinkBoard out;
  out.turn = 10;
  out.setStone(BLACK, 1.5, 1.5);
  return out;
}

// Lateral offset at which a resting stone at height y just escapes the
// moving stone of ManyEvents (bisection from the touching side).
double missBoundary(double y, double touchX, double missX) {
  for (int i = 0; i < 60; ++i) {
    const double m = 0.5 * (touchX + missX);
    ThinkBoard out = marked();
    simulate(out, Builder().add(stone(0.0, -5.0, 0.0, 4.0)).add(stone(m, y)).done());
    (out.stones[BLACK][0].x == m || out.stones[BLACK][1].x == m ? missX : touchX) = m;
  }
  return missX;
}

TEST(FSBoard, ManyEventsEndInTheExactModel) {
  // Near misses by a hair: every pass closes only part of the tiny gap, so
  // each one costs about a hundred events.
  const double ys[3] = {-4.85, -4.55, -4.45};
  const double xs[3] = {missBoundary(ys[0], 0.0, 0.6), missBoundary(ys[1], 0.0, -0.6),
                        missBoundary(ys[2], 0.0, 0.6)};
  Builder g;
  g.add(stone(0.0, -5.0, 0.0, 4.0));
  for (int k = 0; k < 3; ++k) g.add(stone(xs[k], ys[k]));
  ThinkBoard out;
  out.turn = 10;
  EXPECT_EQ(simulate(out, g.done()), 2);
  EXPECT_EQ(g.b.events, EVENT_LIMIT + 1);
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
    const int flaw = n % 10;
    FSBoard f;
    const uint32_t slots = flaw == 6 || flaw == 7 ? 0xffffu
                           : flaw == 8            ? 0x1ffu << (n / 10 % 8)
                           : flaw == 9            ? 0xffu << (n / 10 % 9)
                                                  : e.next32() & 0xffffu;
    const uint32_t split = e.next32() | 1u;  // slot 0 moves if present
    f.awakes = bitSet(slots & split);
    f.asleeps = bitSet(slots & ~split);
    for (int i = 0; i < 16; ++i) {
      FSStone& s = f.aw_stone[i];
      s.state = flaw >= 8 ? n / 10 % 2 : i % 2;
      s.awakes = andNot(f.awakes, bitSet(1u << i)) & bitSet(e.next32());
      s.asleeps = andNot(f.asleeps, bitSet(1u << i)) & bitSet(e.next32());
    }
    const bitSet outside = ~(f.awakes | f.asleeps) & bitSet(0xffffu);
    const bool moving = !f.awakes.empty();
    FSStone& m = f.aw_stone[moving ? pick(f.awakes) : 0];
    const int self = moving ? static_cast<int>(&m - f.aw_stone) : 0;
    switch (flaw) {
      case 1:
        if (moving) f.asleeps.set(pick(f.awakes));
        break;
      case 2:
      case 3:
        if (moving && !outside.empty())
          (flaw == 2 ? m.awakes : m.asleeps)
              .set(pick(outside | (flaw == 2 ? f.asleeps : f.awakes)));
        break;
      case 4:
      case 5:
        if (moving) (flaw == 4 ? m.awakes : m.asleeps).set(self);
        break;
      case 6:  // nine of one colour among sixteen
        f.aw_stone[n / 10 % 16].state ^= 1u;
        break;
      default:  // 0: consistent; 7: eight of each colour; 8: nine stones of one
                // colour; 9: eight stones of one colour
        break;
    }
    ::testing::internal::CaptureStderr();
    const bool full = f.exam();
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(f.plausible(), full) << "board " << n << " flaw " << flaw << ": " << said;
    EXPECT_EQ(said.empty(), full);
    if (flaw == 0 || flaw == 7 || flaw == 9) {
      EXPECT_TRUE(full) << n;
    }
    failing += !full;
  }
  EXPECT_GT(failing, 1200);  // most flawed boards came out flawed
}

}  // namespace
}  // namespace Kelp
