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

#include "kelpsimulator/primitive.h"
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

void add(std::vector<Tree>& out, double x, double y, const char* label, bool spin, int kind) {
  out.emplace_back(static_cast<float>(x), static_cast<float>(y), label, spin, kind);
}

// The pattern's own house test: the distance is computed in double from the
// floats, rounded to float, and compared widened with the double 1.83.
bool inPatternHouse(float xs, float ys) {
  const double dx = 0.0 - static_cast<double>(xs);
  const double dy = 0.0 - static_cast<double>(ys);
  const float r = static_cast<float>(std::sqrt(dx * dx + dy * dy));
  return static_cast<double>(r) <= PATTERN_HOUSE;
}

void freeGuard(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  const double y1 = -FREE_GUARD_DISTANCE * std::sin(PI / 2 - PI / 6);
  const double y3 = -FREE_GUARD_DISTANCE * std::sin(PI / 2);
  const double y5 = -FREE_GUARD_DISTANCE * std::sin(PI / 6 + PI / 2);
  add(out, -FREE_GUARD_SIDE_X, y1, "FREE_GUARD1", SPIN1, SHOT_DRAW);
  add(out, -FREE_GUARD_SIDE_X, y1, "FREE_GUARD2", SPIN0, SHOT_DRAW);
  add(out, 0.0, y3, "FREE_GUARD3", SPIN1, SHOT_DRAW);
  add(out, 0.0, y3, "FREE_GUARD4", SPIN0, SHOT_DRAW);
  add(out, FREE_GUARD_SIDE_X, y5, "FREE_GUARD5", SPIN1, SHOT_DRAW);
  add(out, FREE_GUARD_SIDE_X, y5, "FREE_GUARD6", SPIN0, SHOT_DRAW);
}

void guard(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  for (const auto& [xs, ys] : stones) {
    if (!inPatternHouse(xs, ys) || !(static_cast<double>(ys) < PATTERN_HOUSE)) continue;
    const float gy = ys - GUARD_OFFSET;  // float arithmetic
    out.emplace_back(xs, gy, "GUARD1", SPIN1, SHOT_DRAW);
    out.emplace_back(xs, gy, "GUARD2", SPIN0, SHOT_DRAW);
  }
}

void comeAround(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  for (const auto& [xs, ys] : stones) {
    if (!(static_cast<double>(ys) < COME_AROUND_BAND_NEAR && ys > COME_AROUND_BAND_FAR)) continue;
    const double cy = static_cast<double>(ys) + COME_AROUND_BEHIND;
    add(out, xs, cy, "COME_AROUND1", SPIN0, SHOT_DRAW);
    add(out, xs, cy, "COME_AROUND2", SPIN1, SHOT_DRAW);
  }
}

void freeze(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  for (const auto& [xs, ys] : stones) {
    if (!inPatternHouse(xs, ys)) continue;
    const double fy = static_cast<double>(ys) - 3 * R;
    add(out, xs, fy, "FREEZE1", SPIN1, SHOT_DRAW);
    add(out, xs, fy, "FREEZE2", SPIN0, SHOT_DRAW);
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
    add(out, x1, y1, labels[0], SPIN1, kind);
    add(out, x1, y1, labels[1], SPIN0, kind);
    add(out, x, y3, labels[2], SPIN1, kind);
    add(out, x, y3, labels[3], SPIN0, kind);
    add(out, x5, y5, labels[4], SPIN1, kind);
    add(out, x5, y5, labels[5], SPIN0, kind);
  }
}

void strong(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  hits(stones, out, SHOT_HIT_HARD, {"STRONG1", "STRONG2", "STRONG3", "STRONG4", "WEAK5", "WEAK6"});
}

void weak(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  hits(stones, out, SHOT_HIT_SOFT, {"WEAK1", "WEAK2", "WEAK3", "WEAK4", "WEAK5", "WEAK6"});
}

void tee(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  out.emplace_back(0.0f, 0.0f, "TEE1", SPIN1, SHOT_DRAW);
  out.emplace_back(0.0f, 0.0f, "TEE2", SPIN0, SHOT_DRAW);
}

void house(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  const double rho = HOUSE_POINT_RADIUS;
  const double x1 = rho * std::cos(PI / 4), y1 = -rho * std::sin(PI / 4);
  const double x3 = rho * std::cos(PI / 2), y3 = -rho * std::sin(PI / 2);
  const double x5 = rho * std::cos(3 * PI / 4), y5 = -rho * std::sin(3 * PI / 4);
  add(out, x1, y1, "HOUSE1", SPIN1, SHOT_DRAW);
  add(out, x1, y1, "HOUSE2", SPIN0, SHOT_DRAW);
  add(out, x3, y3, "HOUSE3", SPIN1, SHOT_DRAW);
  add(out, x3, y3, "HOUSE4", SPIN0, SHOT_DRAW);
  add(out, x5, y5, "HOUSE5", SPIN1, SHOT_DRAW);
  add(out, x5, y5, "HOUSE6", SPIN0, SHOT_DRAW);
}

void blueSide(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  out.emplace_back(BLUESIDE_X, 0.0f, "BLUESIDE", SPIN1, SHOT_DRAW);
  out.emplace_back(BLUESIDE_X, 0.0f, "BLUESIDE2", SPIN0, SHOT_DRAW);
  out.emplace_back(-BLUESIDE_X, 0.0f, "BLUESIDE3", SPIN1, SHOT_DRAW);
  out.emplace_back(-BLUESIDE_X, 0.0f, "BLUESIDE4", SPIN0, SHOT_DRAW);
}

// All four carry the one label.
void whiteSide(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  out.emplace_back(WHITESIDE_X, 0.0f, "WHITESIDE", SPIN1, SHOT_DRAW);
  out.emplace_back(WHITESIDE_X, 0.0f, "WHITESIDE", SPIN0, SHOT_DRAW);
  out.emplace_back(-WHITESIDE_X, 0.0f, "WHITESIDE", SPIN1, SHOT_DRAW);
  out.emplace_back(-WHITESIDE_X, 0.0f, "WHITESIDE", SPIN0, SHOT_DRAW);
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
