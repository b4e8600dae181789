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

// The hit targets' offsets from the stone's centre, computed once: the same
// products that the per-stone arithmetic adds to the stone's coordinates.
const double HIT_X1 = R * std::cos(PI / 6);
const double HIT_Y1 = R * std::sin(PI / 6);
const double HIT_Y3 = R * std::sin(PI / 2);
const double HIT_X5 = R * std::cos(5 * PI / 6);
const double HIT_Y5 = R * std::sin(5 * PI / 6);

// The two candidates aimed at one target: labels and spins in list order.
struct Pair {
  const char* firstLabel;
  bool firstSpin;
  const char* secondLabel;
  bool secondSpin;
};

// Both spins of one target, in the order given; they share the aim.
void addPair(std::vector<Tree>& out, double x, double y, int kind, const Pair& pair) {
  const ShotAim aim = aimFor(static_cast<float>(x), static_cast<float>(y), kind);
  out.emplace_back(aim, pair.firstLabel, pair.firstSpin);
  out.emplace_back(aim, pair.secondLabel, pair.secondSpin);
}

// The pattern's own house test: the distance is computed in double from the
// floats, rounded to float, and compared widened with the double 1.83.
bool inPatternHouse(float xs, float ys) {
  const double dx = 0.0 - static_cast<double>(xs);
  const double dy = 0.0 - static_cast<double>(ys);
  const float r = static_cast<float>(std::sqrt(dx * dx + dy * dy));
  return static_cast<double>(r) <= PATTERN_HOUSE;
}

// ---- Generators that aim at the stones in play ----

// What a stone-dependent generator makes of each stone it takes: targets
// (one pair of candidates each) of one kind.
struct StonePattern {
  int kind;
  int targets;
  std::array<Pair, 3> pairs;  // per target
};

// By PatternIndex; the entries of the fixed generators are unused. The hard
// hits' last pair carries the soft hits' labels WEAK5/WEAK6; the kind tells
// them apart.
constexpr std::array<StonePattern, 10> STONE_PATTERNS = {{
    {},
    {SHOT_DRAW, 1, {{{"GUARD1", SPIN1, "GUARD2", SPIN0}}}},
    {SHOT_DRAW, 1, {{{"COME_AROUND1", SPIN0, "COME_AROUND2", SPIN1}}}},
    {SHOT_DRAW, 1, {{{"FREEZE1", SPIN1, "FREEZE2", SPIN0}}}},
    {SHOT_HIT_HARD,
     3,
     {{{"STRONG1", SPIN1, "STRONG2", SPIN0},
       {"STRONG3", SPIN1, "STRONG4", SPIN0},
       {"WEAK5", SPIN1, "WEAK6", SPIN0}}}},
    {SHOT_HIT_SOFT,
     3,
     {{{"WEAK1", SPIN1, "WEAK2", SPIN0},
       {"WEAK3", SPIN1, "WEAK4", SPIN0},
       {"WEAK5", SPIN1, "WEAK6", SPIN0}}}},
}};

bool isStonePattern(PatternIndex p) {
  return p >= GUARD && p <= WEAK;
}

// The generators that take a stone, as bits by PatternIndex.
uint32_t patternsTaking(float xs, float ys) {
  uint32_t taken = 0;
  if (inPatternHouse(xs, ys)) {
    taken |= 1u << FREEZE | 1u << STRONG | 1u << WEAK;
    if (static_cast<double>(ys) < PATTERN_HOUSE) taken |= 1u << GUARD;
  }
  if (static_cast<double>(ys) < COME_AROUND_BAND_NEAR && ys > COME_AROUND_BAND_FAR) {
    taken |= 1u << COME_AROUND;
  }
  return taken;
}

// Target j of generator p for the stone (xs, ys), with the generator's own
// arithmetic (float or double), before the rounding to float.
std::array<double, 2> stoneTarget(PatternIndex p, float xs, float ys, int j) {
  switch (p) {
    case GUARD: {
      const float gy = ys - GUARD_OFFSET;  // float arithmetic
      return {xs, gy};
    }
    case COME_AROUND:
      return {xs, static_cast<double>(ys) + COME_AROUND_BEHIND};
    case FREEZE:
      return {xs, static_cast<double>(ys) - 3 * R};
    default: {
      // Hits on the stone's edge facing the thrower, at 30, 90 and 150
      // degrees from +x.
      const double x = xs;
      const double y = ys;
      if (j == 0) return {x + HIT_X1, y - HIT_Y1};
      if (j == 1) return {x, y - HIT_Y3};
      return {x + HIT_X5, y - HIT_Y5};
    }
  }
}

void appendStonePattern(PatternIndex p, const StonePositions& stones, std::vector<Tree>& out) {
  const StonePattern& pattern = STONE_PATTERNS[p];
  for (const auto& [xs, ys] : stones) {
    if ((patternsTaking(xs, ys) & 1u << p) == 0) continue;
    for (int j = 0; j < pattern.targets; ++j) {
      const auto [x, y] = stoneTarget(p, xs, ys, j);
      addPair(out, x, y, pattern.kind, pattern.pairs[j]);
    }
  }
}

void guard(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  appendStonePattern(GUARD, stones, out);
}
void comeAround(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  appendStonePattern(COME_AROUND, stones, out);
}
void freeze(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  appendStonePattern(FREEZE, stones, out);
}
void strong(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  appendStonePattern(STRONG, stones, out);
}
void weak(const CurlingGameState&, const StonePositions& stones, std::vector<Tree>& out) {
  appendStonePattern(WEAK, stones, out);
}

// ---- Generators with fixed targets ----

// The candidates that do not depend on the stones, in list order, with their
// shots. Their shot vectors are the same in every position, so they are
// computed once, on first use (the tables must be built by then).
struct FixedCandidates {
  std::vector<Tree> nodes;
  std::array<Kelp::ShotVector, 22> shots;
};

FixedCandidates makeFixed() {
  KELP_CHECK(Kelp::speedByDistance[1] > 0.0);
  FixedCandidates fixed;
  std::vector<Tree>& out = fixed.nodes;
  const double y1 = -FREE_GUARD_DISTANCE * std::sin(PI / 2 - PI / 6);
  const double y3 = -FREE_GUARD_DISTANCE * std::sin(PI / 2);
  const double y5 = -FREE_GUARD_DISTANCE * std::sin(PI / 6 + PI / 2);
  addPair(out, -FREE_GUARD_SIDE_X, y1, SHOT_DRAW, {"FREE_GUARD1", SPIN1, "FREE_GUARD2", SPIN0});
  addPair(out, 0.0, y3, SHOT_DRAW, {"FREE_GUARD3", SPIN1, "FREE_GUARD4", SPIN0});
  addPair(out, FREE_GUARD_SIDE_X, y5, SHOT_DRAW, {"FREE_GUARD5", SPIN1, "FREE_GUARD6", SPIN0});

  addPair(out, 0.0, 0.0, SHOT_DRAW, {"TEE1", SPIN1, "TEE2", SPIN0});

  const double rho = HOUSE_POINT_RADIUS;
  addPair(out, rho * std::cos(PI / 4), -rho * std::sin(PI / 4), SHOT_DRAW,
          {"HOUSE1", SPIN1, "HOUSE2", SPIN0});
  addPair(out, rho * std::cos(PI / 2), -rho * std::sin(PI / 2), SHOT_DRAW,
          {"HOUSE3", SPIN1, "HOUSE4", SPIN0});
  addPair(out, rho * std::cos(3 * PI / 4), -rho * std::sin(3 * PI / 4), SHOT_DRAW,
          {"HOUSE5", SPIN1, "HOUSE6", SPIN0});

  addPair(out, BLUESIDE_X, 0.0, SHOT_DRAW, {"BLUESIDE", SPIN1, "BLUESIDE2", SPIN0});
  addPair(out, -BLUESIDE_X, 0.0, SHOT_DRAW, {"BLUESIDE3", SPIN1, "BLUESIDE4", SPIN0});

  // All four beside-the-tee candidates carry the one label.
  addPair(out, WHITESIDE_X, 0.0, SHOT_DRAW, {"WHITESIDE", SPIN1, "WHITESIDE", SPIN0});
  addPair(out, -WHITESIDE_X, 0.0, SHOT_DRAW, {"WHITESIDE", SPIN1, "WHITESIDE", SPIN0});

  KELP_CHECK(out.size() == fixed.shots.size());
  for (size_t i = 0; i < out.size(); ++i) fixed.shots[i] = out[i].move.move_state.shot();
  return fixed;
}

const FixedCandidates& fixedCandidates() {
  static const FixedCandidates fixed = makeFixed();
  return fixed;
}

// Where each fixed generator's candidates lie in the fixed list, by
// PatternIndex; {0, 0} for the stone-dependent ones.
struct FixedRange {
  int first;
  int count;
};
constexpr std::array<FixedRange, 10> FIXED_RANGES = {
    {{0, 6}, {}, {}, {}, {}, {}, {6, 2}, {8, 6}, {14, 4}, {18, 4}}};

// Appends fixed candidates [first, first + n).
void copyFixed(std::vector<Tree>& out, PatternIndex p) {
  const std::vector<Tree>& fixed = fixedCandidates().nodes;
  const FixedRange range = FIXED_RANGES[p];
  for (int i = range.first; i < range.first + range.count; ++i) {
    out.emplace_back(fixed[i].move.move_state);
  }
}

void freeGuard(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, FREE_GUARD);
}
void tee(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, TEE);
}
void house(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, HOUSE);
}
void blueSide(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, BLUESIDE);
}
void whiteSide(const CurlingGameState&, const StonePositions&, std::vector<Tree>& out) {
  copyFixed(out, WHITESIDE);
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
  const int list = patternListForTurn(getTurn());
  // A node's children are allocated once, at their final size.
  out.reserve(out.size() + static_cast<size_t>(CandidatePicker(*this, list).count()));
  appendCandidates(*this, list, out);
}

CandidatePicker::CandidatePicker(const CurlingGameState& state)
    : CandidatePicker(state, patternListForTurn(state.getTurn())) {}

CandidatePicker::CandidatePicker(const CurlingGameState& state, int list)
    : stones_(state.getStonePositions()), generators_(getPatternList(list)) {
  KELP_CHECK(generators_.size() <= counts_.size());
  uint32_t taken[10] = {};  // stones each generator takes
  for (int s = 0; s < stones_.size; ++s) {
    const auto [xs, ys] = stones_.xy[s];
    taken_[s] = patternsTaking(xs, ys);
    for (int p = GUARD; p <= WEAK; ++p) taken[p] += taken_[s] >> p & 1u;
  }
  for (size_t g = 0; g < generators_.size(); ++g) {
    const PatternIndex p = generators_[g];
    const int n = isStonePattern(p) ? static_cast<int>(taken[p]) * 2 * STONE_PATTERNS[p].targets
                                    : FIXED_RANGES[p].count;
    counts_[g] = n;
    count_ += n;
  }
}

Kelp::ShotVector CandidatePicker::shot(int i) const {
  KELP_CHECK(0 <= i && i < count_);
  size_t g = 0;
  while (i >= counts_[g]) i -= counts_[g++];
  const PatternIndex p = generators_[g];
  if (!isStonePattern(p)) return fixedCandidates().shots[FIXED_RANGES[p].first + i];
  const StonePattern& pattern = STONE_PATTERNS[p];
  const int perStone = 2 * pattern.targets;
  int s = 0;
  for (;; ++s) {
    if ((taken_[s] & 1u << p) == 0) continue;
    if (i < perStone) break;
    i -= perStone;
  }
  const auto [xs, ys] = stones_.xy[s];
  const int j = i / 2;
  const auto [x, y] = stoneTarget(p, xs, ys, j);
  const ShotAim aim = aimFor(static_cast<float>(x), static_cast<float>(y), pattern.kind);
  const Pair& pair = pattern.pairs[j];
  return shotFor(aim, i % 2 == 0 ? pair.firstSpin : pair.secondSpin);
}
