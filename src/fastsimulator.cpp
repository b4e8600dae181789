#include "kelpsimulator/fastsimulator.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

#include "kelpsimulator/check.h"
#include "kelpsimulator/contact.h"
#include "kelpsimulator/exact.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/simulator.h"

namespace Kelp {

namespace {

constexpr double LEVER = static_cast<double>(STONE_RADIUS);  // lever arm of the contact rules
constexpr double NO_EVENT = 9999.0;
constexpr double CONTACT2 = CONTACT_DISTANCE * CONTACT_DISTANCE;
constexpr double HALF_PI = 1.5707963267948966;  // rad, the double nearest pi/2

double dist2(const FSStone& a, const FSStone& b) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  return dx * dx + dy * dy;
}

bool inPlay(const FSStone& s) {
  return isInPlayArea(s.x, s.y);
}

// Bit for bit: 0.0 and -0.0 have different bearings.
bool samePlace(const Stone& o, const FSStone& s) {
  return std::bit_cast<uint64_t>(o.x) == std::bit_cast<uint64_t>(s.x) &&
         std::bit_cast<uint64_t>(o.y) == std::bit_cast<uint64_t>(s.y);
}

bool isProtected(const FSStone& s) {
  return (s.state & STONE_PROTECTED) != 0;
}

// The stones' own candidate sets follow the board's: a stone that settles or
// leaves play stops being anyone's moving candidate.
void dropFromMovingCandidates(FSBoard& b, int slot) {
  forEach(b.awakes, [&](int m) { b.aw_stone[m].awakes.reset(slot); });
}

}  // namespace

void collideResting(FSStone& a, FSStone& b) {
  const double phi = std::atan2(b.x - a.x, b.y - a.y);
  const double vn = std::cos(a.th - phi) * a.v;
  const double vt = std::sin(a.th - phi) * a.v;
  // The contact point slides at vt - w r (w counter-clockwise, as in the
  // exact model); friction passes a share of that on.
  const double j = (vt - a.w * LEVER) * TANGENTIAL_FACTOR;
  const double dw = j * 2.0 / LEVER;
  b.v = std::hypot(vn, j);
  b.th = std::atan2(j, vn) + phi;
  b.w = dw;
  b.t = a.t;
  // The striker keeps only its tangential part: hypot(0, u) is |u| and
  // atan2(u, +0) is +-pi/2 (u itself when u is +-0, a NaN stays one), exactly.
  const double u = vt - j;
  a.v = std::fabs(u);
  a.th = (u > 0.0 ? HALF_PI : u < 0.0 ? -HALF_PI : u) + phi;
  a.w = a.w + dw;
}

void collideMoving(FSStone& a, FSStone& b) {
  const double phi = std::atan2(b.x - a.x, b.y - a.y);
  const double an = std::cos(a.th - phi) * a.v;
  const double at = std::sin(a.th - phi) * a.v;
  const double bn = std::cos(b.th - phi) * b.v;
  const double bt = std::sin(b.th - phi) * b.v;
  const double j = ((at - bt) - (a.w + b.w) * LEVER) * TANGENTIAL_FACTOR;
  const double dw = j * 2.0 / LEVER;
  // Equal masses, fully elastic: the normal parts are exchanged.
  b.v = std::min(std::hypot(an, bt + j), MAX_SPEED);
  b.th = std::atan2(bt + j, an) + phi;
  b.w = b.w + dw;
  a.v = std::min(std::hypot(bn, at - j), MAX_SPEED);
  a.th = std::atan2(at - j, bn) + phi;
  a.w = a.w + dw;
}

// The rules of exam() as one pass of word operations, without finding which
// rule broke: the event loop checks the board at every event, and this is the
// answer nearly always. Only a board that fails it is examined rule by rule
// (exam() reports the first broken one).
bool FSBoard::plausible() const {
  if (!(awakes & asleeps).empty()) return false;
  uint32_t broken = 0;
  for (bitSet m = awakes; !m.empty(); m.popLowest()) {
    const FSStone& s = aw_stone[m.lowest()];
    // A stone in its own resting candidates is outside asleeps, so the
    // second term covers that rule.
    broken |= andNot(s.awakes, awakes).word | andNot(s.asleeps, asleeps).word |
              (s.awakes.word & m.word & -m.word);
  }
  if (broken != 0) return false;
  // Sixteen slots: with at most eight stones no colour can have nine.
  const bitSet all = awakes | asleeps;
  if (all.size() <= 8) return true;
  int white = 0;
  for (bitSet m = all; !m.empty(); m.popLowest()) {
    white += static_cast<int>(aw_stone[m.lowest()].state & STONE_COLOR_BIT);
  }
  return white <= 8 && all.size() - white <= 8;
}

bool FSBoard::exam() const {
  if (!(awakes & asleeps).empty()) {
    std::fprintf(stderr, "FSBoard::exam() : awakes and asleeps inexclusive.\n");
    return false;
  }
  bool ok = true;
  forEach(awakes, [&](int i) {
    if (!ok) return;
    const FSStone& s = aw_stone[i];
    const char* fmt = nullptr;
    if (!andNot(s.awakes, awakes).empty()) {
      fmt = "FSBoard::exam() : all awakes doesn't hold aw_stone(%d)'s awakes.\n";
    } else if (!andNot(s.asleeps, asleeps).empty()) {
      fmt = "FSBoard::exam() : all asleeps doesn't hold aw_stone(%d)'s asleeps.\n";
    } else if (s.awakes.test(i)) {
      fmt = "FSBoard::exam() : aw_stone(%d)'s awakes holds myself.\n";
    } else if (s.asleeps.test(i)) {
      fmt = "FSBoard::exam() : aw_stone(%d)'s asleeps holds myself.\n";
    } else if (!awakes.test(i)) {
      fmt = "FSBoard::exam() : awakes doesn't hold aw_stone(%d)\n";
    } else if (asleeps.test(i)) {
      fmt = "FSBoard::exam() : asleeps holds aw_stone(%d)\n";
    }
    if (fmt != nullptr) {
      std::fprintf(stderr, fmt, i);
      ok = false;
    }
  });
  if (!ok) return false;
  int n[2] = {0, 0};
  forEach(awakes | asleeps, [&](int i) { ++n[aw_stone[i].state & STONE_COLOR_BIT]; });
  for (int col = 0; col < 2; ++col) {
    if (n[col] > 8) {
      std::fprintf(stderr, "FSBoard : illegal number of stones( %s%d ).\n", COLOR_NAME[col],
                   n[col]);
      return false;
    }
  }
  return true;
}

void fromContact(FSBoard& fsb, const ThinkBoard& board, int hit, const FSStone& thrown,
                 const FSStone& struck) {
  for (FSStone& s : fsb.aw_stone) {
    s.asleeps = bitSet();
    s.awakes = bitSet();
    s.state = 0;
  }
  fsb.awakes = bitSet();
  fsb.asleeps = bitSet();
  fsb.awake_count = 0;
  fsb.asleep_count = 0;
  fsb.events = 0;

  fsb.aw_stone[0] = thrown;
  fsb.aw_stone[1] = struck;
  fsb.awakes.set(0);
  fsb.awakes.set(1);
  fsb.awake_count = 2;
  fsb.shooter = static_cast<uint32_t>(board.getTurn() % 2);

  int n = 2;
  for (int col = 0; col < 2; ++col) {
    for (int i = 0; i < board.count[col]; ++i) {
      if (col * 8 + i == hit) continue;
      KELP_CHECK(n < 16);
      FSStone& s = fsb.aw_stone[n];
      s = FSStone{};
      s.x = board.stones[col][i].x;
      s.y = board.stones[col][i].y;
      s.state = board.state[col][i];
      fsb.asleeps.set(n);
      ++n;
    }
  }
  fsb.asleep_count = n - 2;
  for (int k = 0; k < 2; ++k) {
    fsb.aw_stone[k].asleeps = fsb.asleeps;
    fsb.aw_stone[k].awakes = bitSet();
  }
  // The thrown stone is never protected; the struck one keeps its flags.
  fsb.aw_stone[0].state = fsb.shooter;
  fsb.aw_stone[1].state = board.state[hit / 8][hit % 8];
}

int exactFallback(FSBoard& fsb, ThinkBoard& out, double dt) {
  ExactSimulator sim;
  // Moving stones keep their whole state word, so a protected guard that is
  // already moving at the hand-over stays protected in the exact model.
  forEach(fsb.awakes, [&](int i) {
    const FSStone& s = fsb.aw_stone[i];
    sim.loadStone(s.x, s.y, std::sin(s.th) * s.v, std::cos(s.th) * s.v, s.w, s.state, true);
  });
  forEach(fsb.asleeps, [&](int i) {
    const FSStone& s = fsb.aw_stone[i];
    sim.loadStone(s.x, s.y, 0.0, 0.0, 0.0, s.state, false);
  });
  // A protected stone leaving play is a foul, exactly as on the fast path.
  return settleExact(sim, out, dt) ? 2 : 0;
}

namespace {

// What one scan of the board found: a contact that is already there, or the
// span in which no two stones can touch.
struct NextEvent {
  int i = -1;              // a contact: moving stone i touches stone j
  int j = -1;              //   (-1: no contact)
  bool resting = false;    //   j is at rest
  bool found = false;      // no contact, but some pair could still touch
  double span = NO_EVENT;  // the earliest time at which such a pair could touch
};

// Scans the moving stones in slot order. Resting stones out of a stone's
// reach are dropped from its candidates for good, and so are pairs of moving
// stones that can no longer meet; each moving stone's reach and stop time are
// refreshed on the way.
NextEvent findNextEvent(FSBoard& b) {
  double span = NO_EVENT;
  bool found = false;
  for (bitSet movers = b.awakes; !movers.empty(); movers.popLowest()) {
    const int i = movers.lowest();
    FSStone& a = b.aw_stone[i];
    const double d = distanceForSpeed(a.v);
    const double r2 = (d + TOUCH_DISTANCE) * (d + TOUCH_DISTANCE);
    double x = NO_EVENT;
    for (bitSet rest = a.asleeps; !rest.empty(); rest.popLowest()) {
      const int j = rest.lowest();
      const double d2 = dist2(a, b.aw_stone[j]);
      if (d2 < r2) {
        if (d2 < CONTACT2) return {i, j, true, false, NO_EVENT};
        x = std::min(x, d2);
      } else {
        a.asleeps.reset(j);  // out of reach for good
      }
    }
    a.reach = d;
    a.stop_time = a.v / FRICTION;
    if (x < r2) {
      const double g = std::sqrt(x) - TOUCH_DISTANCE;
      const double te = a.stop_time - speedForDistance(afterChord(g, d)) / FRICTION;
      span = std::min(span, te);
      found = true;
    }
    // Stones below i were scanned earlier in this pass: their reach is fresh.
    for (bitSet other = a.awakes; !other.empty(); other.popLowest()) {
      const int k = other.lowest();
      if (k >= i) break;
      FSStone& c = b.aw_stone[k];
      const double d2 = dist2(a, c);
      if (d2 < CONTACT2) return {i, k, false, false, NO_EVENT};
      const double g = std::sqrt(d2) - TOUCH_DISTANCE;
      if (d + c.reach > g) {
        span = std::min(span, g / (c.v + a.v));
        found = true;
      } else {
        a.awakes.reset(k);
        c.awakes.reset(i);
      }
    }
  }
  return {-1, -1, false, found, span};
}

// Which stones moving stones i and j (just parted) may still hit: neither is
// a candidate of the other until a third stone brings them together again,
// while every other moving stone may hit both. j is no resting candidate of
// anyone any more.
void partPair(FSBoard& b, int i, int j) {
  bitSet others = b.awakes;
  others.reset(i);
  others.reset(j);
  b.aw_stone[i].awakes = others;
  b.aw_stone[j].awakes = others;
  forEach(others, [&](int k) {
    FSStone& c = b.aw_stone[k];
    c.awakes.set(i);
    c.awakes.set(j);
    c.asleeps.reset(j);
  });
}

// Moving stone i strikes stone j at rest, which starts to move.
void contactWithResting(FSBoard& b, int i, int j) {
  FSStone& a = b.aw_stone[i];
  FSStone& s = b.aw_stone[j];
  collideResting(a, s);
  prefetchRow(a.v);
  prefetchRow(s.v);
  b.asleeps.reset(j);
  a.asleeps = b.asleeps;
  s.asleeps = b.asleeps;
  ++b.awake_count;
  --b.asleep_count;
  partPair(b, i, j);
  b.awakes.set(j);
}

// Two moving stones strike each other.
void contactBetweenMoving(FSBoard& b, int i, int j) {
  collideMoving(b.aw_stone[i], b.aw_stone[j]);
  prefetchRow(b.aw_stone[i].v);
  prefetchRow(b.aw_stone[j].v);
  partPair(b, i, j);
}

// Moving stone i has left play: a protected stone makes the shot a foul
// (true); any other is off the board and nobody's candidate any more.
bool leavePlay(FSBoard& b, int i) {
  if (isProtected(b.aw_stone[i])) return true;
  b.awakes.reset(i);
  --b.awake_count;
  dropFromMovingCandidates(b, i);
  return false;
}

// Moving stone i has come to rest where it lies (true on a foul). In play it
// becomes a resting candidate of every stone still moving.
bool cameToRest(FSBoard& b, int i) {
  if (!inPlay(b.aw_stone[i])) return leavePlay(b, i);
  b.awakes.reset(i);
  --b.awake_count;
  b.asleeps.set(i);
  ++b.asleep_count;
  forEach(b.awakes, [&](int m) {
    b.aw_stone[m].awakes.reset(i);
    b.aw_stone[m].asleeps.set(i);
  });
  return false;
}

// Moves every moving stone across a span in which nothing can touch; a stone
// that stops within it comes to rest. False on a foul.
bool advanceAcross(FSBoard& b, double span) {
  // Every stone's table rows are known before the first one moves. Their
  // loads are started together, so that the misses of a random row overlap
  // instead of stalling the stones one after another.
  int from[16];
  int to[16];
  forEach(b.awakes, [&](int i) {
    const FSStone& s = b.aw_stone[i];
    from[i] = pathIndex(s.v);
    to[i] = span > s.stop_time
                ? 0
                : std::min(from[i], static_cast<int>((s.v - span * FRICTION) / PATH_STEP));
    __builtin_prefetch(&pathBySpeed[to[i] < 1 ? from[i] : to[i]]);
  });
  bool foul = false;
  forEach(b.awakes, [&](int i) {
    if (foul) return;
    FSStone& s = b.aw_stone[i];
    if (to[i] < 1) {
      advanceToRest(from[i], s);
      foul = cameToRest(b, i);
    } else {
      advance(from[i], to[i], s);
      if (!inPlay(s)) foul = leavePlay(b, i);
    }
  });
  return !foul;
}

// No further contact is possible: every stone still moving slides to rest.
// False on a foul.
bool slideToRest(FSBoard& b) {
  forEach(b.awakes, [&](int i) { prefetchRow(b.aw_stone[i].v); });
  bool foul = false;
  forEach(b.awakes, [&](int i) {
    if (foul) return;
    FSStone& s = b.aw_stone[i];
    advanceToRest(pathIndex(s.v), s);
    if (inPlay(s)) {
      b.asleeps.set(i);
      ++b.asleep_count;
    } else if (isProtected(s)) {
      foul = true;
    }
  });
  if (foul) return false;
  b.awakes = bitSet();
  b.awake_count = 0;
  return true;
}

// Rebuilds out from the stones at rest.
void writeBack(const FSBoard& b, ThinkBoard& out) {
  // Most shots move only a few stones: a stone still exactly where it lay
  // before the throw keeps its distance and bearing, which saves their
  // hypot and atan2 (they depend on x and y alone).
  Stone before[2][8];
  int beforeCount[2];
  for (int col = 0; col < 2; ++col) {
    beforeCount[col] = out.count[col];
    std::copy_n(out.stones[col], out.count[col], before[col]);
  }
  out.in_house[0] = out.in_house[1] = 0;
  out.count[0] = out.count[1] = 0;
  forEach(b.asleeps, [&](int i) {
    const FSStone& s = b.aw_stone[i];
    const int col = static_cast<int>(s.state & STONE_COLOR_BIT);
    const Stone* known = std::find_if(before[col], before[col] + beforeCount[col],
                                      [&](const Stone& o) { return samePlace(o, s); });
    if (known != before[col] + beforeCount[col]) {
      out.setStone(col, *known);
    } else {
      out.setStone(col, s.x, s.y);
    }
  });
}

}  // namespace

int simulate(ThinkBoard& out, FSBoard& fsb) {
  FSBoard& b = fsb;
  b.events = 0;
  for (;;) {
    KELP_CHECK_TEXT(b.plausible() || b.exam(), "b.exam()");
    if (b.events > EVENT_LIMIT) return exactFallback(b, out, SIM_STEP);
    if (b.awakes.empty()) break;
    const NextEvent next = findNextEvent(b);
    // After a contact the board is checked again at once, at the top.
    if (next.j >= 0) {
      if (next.resting) {
        contactWithResting(b, next.i, next.j);
      } else {
        contactBetweenMoving(b, next.i, next.j);
      }
      ++b.events;
      continue;
    }
    if (!next.found) break;
    if (!advanceAcross(b, next.span)) return 0;
    if (b.awake_count == 0) break;
    ++b.events;
  }
  if (!slideToRest(b)) return 0;
  writeBack(b, out);
  return 2;
}

}  // namespace Kelp
