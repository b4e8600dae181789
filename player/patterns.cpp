// The shot patterns: ten generators of named candidate shots, aimed at fixed
// points (guards, draws to the tee, the house and beside the tee) or at points
// derived from the stones in play (guards, come-arounds, freezes, hits), and
// the pattern lists that choose which generators run in which phase.
//
// The target arithmetic (float or double, and where the rounding to float
// happens) decides the exact shot vector of every candidate, so each target
// is written out as it is computed.
#include <array>
#include <cmath>
#include <iostream>
#include <stdexcept>

#include "kelpsimulator/check.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/trajectory.h"
#include "player/MonteCarlo.h"
#include "player/curling.h"

namespace {

using Kelp::StonePositions;

const double PI = std::asin(0.5) * 6;
constexpr double R = static_cast<double>(Kelp::STONE_RADIUS);  // 0.14499999582767487
constexpr double PATTERN_HOUSE = 1.83;  // stricter than the board's IN_HOUSE_RADIUS
constexpr double FREE_GUARD_SIDE_X = 0.30500000000000005;
constexpr double FREE_GUARD_DISTANCE = 3.5;
constexpr float GUARD_OFFSET = 1.83f;
constexpr double COME_AROUND_BAND_NEAR = -1.22;  // compared in double
constexpr float COME_AROUND_BAND_FAR = -6.0f;    // compared in float
constexpr double COME_AROUND_BEHIND = 2.4;
constexpr float HOUSE_POINT_RADIUS = 1.22f;
constexpr float BLUESIDE_X = 1.53f;
constexpr float WHITESIDE_X = 1.22f;

constexpr bool SPIN1 = true;
constexpr bool SPIN0 = false;

// Both spins of one target, in the order given; they share the aim.
void addPair(std::vector<Tree>& out, double x, double y, int kind, const char* firstLabel,
             bool firstSpin, const char* secondLabel, bool secondSpin) {
  const ShotAim aim = aimFor(static_cast<float>(x), static_cast<float>(y), kind);
  out.emplace_back(aim, firstLabel, firstSpin);
  out.emplace_back(aim, secondLabel, secondSpin);
}

// The pattern's own house test: the distance is computed in double from the
// floats, rounded to float, and compared widened with the double 1.83.
bool inPatternHouse(float xs, float ys) {
  const double dx = 0.0 - static_cast<double>(xs);
  const double dy = 0.0 - static_cast<double>(ys);
  const float r = static_cast<float>(std::sqrt(dx * dx + dy * dy));
  return static_cast<double>(r) <= PATTERN_HOUSE;
}

void guard(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  for (const auto& [xs, ys] : stones) {
    if (!inPatternHouse(xs, ys) || !(static_cast<double>(ys) < PATTERN_HOUSE)) continue;
    const float gy = ys - GUARD_OFFSET;  // float arithmetic
    addPair(out, xs, gy, SHOT_DRAW, "GUARD1", SPIN1, "GUARD2", SPIN0);
  }
}

void comeAround(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  for (const auto& [xs, ys] : stones) {
    if (!(static_cast<double>(ys) < COME_AROUND_BAND_NEAR && ys > COME_AROUND_BAND_FAR)) continue;
    const double cy = static_cast<double>(ys) + COME_AROUND_BEHIND;
    addPair(out, xs, cy, SHOT_DRAW, "COME_AROUND1", SPIN0, "COME_AROUND2", SPIN1);
  }
}

void freeze(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  for (const auto& [xs, ys] : stones) {
    if (!inPatternHouse(xs, ys)) continue;
    const double fy = static_cast<double>(ys) - 3 * R;
    addPair(out, xs, fy, SHOT_DRAW, "FREEZE1", SPIN1, "FREEZE2", SPIN0);
  }
}

// Hit targets on the stone's edge facing the thrower, at 30, 90 and 150
// degrees from +x. The hard hits' last pair carries the soft hits' labels
// WEAK5/WEAK6; the kind tells them apart.
void hits(const StonePositions& stones, std::vector<Tree>& out, int kind,
          const std::array<const char*, 6>& labels) {
  for (const auto& [xs, ys] : stones) {
    if (!inPatternHouse(xs, ys)) continue;
    const double x = xs;
    const double y = ys;
    const double x1 = x + R * std::cos(PI / 6);
    const double y1 = y - R * std::sin(PI / 6);
    const double y3 = y - R * std::sin(PI / 2);
    const double x5 = x + R * std::cos(5 * PI / 6);
    const double y5 = y - R * std::sin(5 * PI / 6);
    addPair(out, x1, y1, kind, labels[0], SPIN1, labels[1], SPIN0);
    addPair(out, x, y3, kind, labels[2], SPIN1, labels[3], SPIN0);
    addPair(out, x5, y5, kind, labels[4], SPIN1, labels[5], SPIN0);
  }
}

void strong(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  hits(stones, out, SHOT_HIT_HARD, {"STRONG1", "STRONG2", "STRONG3", "STRONG4", "WEAK5", "WEAK6"});
}

void weak(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  hits(stones, out, SHOT_HIT_SOFT, {"WEAK1", "WEAK2", "WEAK3", "WEAK4", "WEAK5", "WEAK6"});
}

// The candidates that do not depend on the stones, in list order. Their shot
// vectors are the same in every position, so they are computed once, on
// first use (the tables must be built by then), and copied afterwards.
std::vector<Tree> makeFixed() {
  KELP_CHECK(Kelp::speedByDistance[1] > 0.0);
  std::vector<Tree> out;
  const double y1 = -FREE_GUARD_DISTANCE * std::sin(PI / 2 - PI / 6);
  const double y3 = -FREE_GUARD_DISTANCE * std::sin(PI / 2);
  const double y5 = -FREE_GUARD_DISTANCE * std::sin(PI / 6 + PI / 2);
  addPair(out, -FREE_GUARD_SIDE_X, y1, SHOT_DRAW, "FREE_GUARD1", SPIN1, "FREE_GUARD2", SPIN0);
  addPair(out, 0.0, y3, SHOT_DRAW, "FREE_GUARD3", SPIN1, "FREE_GUARD4", SPIN0);
  addPair(out, FREE_GUARD_SIDE_X, y5, SHOT_DRAW, "FREE_GUARD5", SPIN1, "FREE_GUARD6", SPIN0);

  addPair(out, 0.0, 0.0, SHOT_DRAW, "TEE1", SPIN1, "TEE2", SPIN0);

  const double rho = HOUSE_POINT_RADIUS;
  addPair(out, rho * std::cos(PI / 4), -rho * std::sin(PI / 4), SHOT_DRAW, "HOUSE1", SPIN1,
          "HOUSE2", SPIN0);
  addPair(out, rho * std::cos(PI / 2), -rho * std::sin(PI / 2), SHOT_DRAW, "HOUSE3", SPIN1,
          "HOUSE4", SPIN0);
  addPair(out, rho * std::cos(3 * PI / 4), -rho * std::sin(3 * PI / 4), SHOT_DRAW, "HOUSE5", SPIN1,
          "HOUSE6", SPIN0);

  addPair(out, BLUESIDE_X, 0.0, SHOT_DRAW, "BLUESIDE", SPIN1, "BLUESIDE2", SPIN0);
  addPair(out, -BLUESIDE_X, 0.0, SHOT_DRAW, "BLUESIDE3", SPIN1, "BLUESIDE4", SPIN0);

  // All four beside-the-tee candidates carry the one label.
  addPair(out, WHITESIDE_X, 0.0, SHOT_DRAW, "WHITESIDE", SPIN1, "WHITESIDE", SPIN0);
  addPair(out, -WHITESIDE_X, 0.0, SHOT_DRAW, "WHITESIDE", SPIN1, "WHITESIDE", SPIN0);
  return out;
}

// Appends fixed candidates [first, first + n).
void copyFixed(std::vector<Tree>& out, size_t first, size_t n) {
  static const std::vector<Tree> fixed = makeFixed();
  for (size_t i = first; i < first + n; ++i) out.emplace_back(fixed[i].move.move_state);
}

void freeGuard(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, 0, 6);
}
void tee(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, 6, 2);
}
void house(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, 8, 6);
}
void blueSide(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, 14, 4);
}
void whiteSide(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, 18, 4);
}

constexpr std::array<PatternGenerator, 10> GENERATORS = {
    freeGuard, guard, comeAround, freeze, strong, weak, tee, house, blueSide, whiteSide};

constexpr PatternIndex LIST_0[] = {FREE_GUARD, GUARD, COME_AROUND, FREEZE,   STRONG,
                                   WEAK,       TEE,   HOUSE,       BLUESIDE, WHITESIDE};
constexpr PatternIndex LIST_1[] = {FREE_GUARD, TEE, HOUSE};
constexpr PatternIndex LIST_2[] = {FREE_GUARD, GUARD, COME_AROUND, STRONG, FREEZE, TEE, HOUSE};
constexpr PatternIndex LIST_3[] = {FREE_GUARD, GUARD, COME_AROUND, FREEZE, STRONG, TEE, HOUSE};
constexpr PatternIndex LIST_4_6[] = {GUARD, COME_AROUND, FREEZE, STRONG, TEE, HOUSE};
constexpr PatternIndex LIST_7[] = {COME_AROUND, FREEZE, STRONG, TEE, HOUSE};
constexpr PatternIndex LIST_8[] = {GUARD, COME_AROUND, STRONG, TEE, HOUSE};
constexpr PatternIndex LIST_9_11[] = {COME_AROUND, STRONG, TEE, HOUSE};
constexpr PatternIndex LIST_12[] = {FREE_GUARD, GUARD, COME_AROUND, FREEZE,
                                    TEE,        HOUSE, BLUESIDE,    WHITESIDE};

}  // namespace

PatternGenerator patternGenerator(PatternIndex index) {
  return GENERATORS.at(static_cast<size_t>(index));
}

std::span<const PatternIndex> getPatternList(int list) {
  switch (list) {
    case 0:
      return LIST_0;
    case 1:
      return LIST_1;
    case 2:
      return LIST_2;
    case 3:
      return LIST_3;
    case 4:
    case 5:
    case 6:
      return LIST_4_6;
    case 7:
      return LIST_7;
    case 8:
      return LIST_8;
    case 9:
    case 10:
    case 11:
      return LIST_9_11;
    case 12:
      return LIST_12;
    default:
      return {};
  }
}

void appendCandidates(const CurlingGameState& state, int list, std::vector<Tree>& out) {
  const std::span<const PatternIndex> generators = getPatternList(list);
  if (generators.empty()) std::cout << "Failed GetFunctions" << std::endl;
  const StonePositions stones = state.getStonePositions();
  for (const PatternIndex index : generators) {
    try {
      patternGenerator(index)(state, stones, out);
    } catch (const std::out_of_range&) {
      // Candidates appended before the failure stay.
      std::cout << "Failed Get List Name :" << std::endl;
    }
  }
  if (out.empty()) std::cout << "error";
}

void CurlingGameState::getCandidates(std::vector<Tree>& out) const {
  appendCandidates(*this, patternListForTurn(getTurn()), out);
}
