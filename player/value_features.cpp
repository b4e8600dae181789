#include "player/value_features.h"

#include <algorithm>
#include <array>

#include "kelpsimulator/check.h"

namespace {

// The board keeps each colour sorted by distance; stones at the same
// distance keep the order they were set in. Ties are broken by position so
// that the slots never depend on that order.
bool nearer(const Kelp::Stone& a, const Kelp::Stone& b) {
  if (a.r != b.r) return a.r < b.r;
  if (a.x != b.x) return a.x < b.x;
  return a.y < b.y;
}

void writeSide(const CurlingGameState& s, int col, float* out) {
  std::array<const Kelp::Stone*, VALUE_SLOTS> order{};
  const int n = s.count[col];
  KELP_CHECK(0 <= n && n <= VALUE_SLOTS);
  for (int i = 0; i < n; ++i) order[i] = &s.stones[col][i];
  std::sort(order.begin(), order.begin() + n,
            [](const Kelp::Stone* a, const Kelp::Stone* b) { return nearer(*a, *b); });
  for (int i = 0; i < VALUE_SLOTS; ++i) {
    float* slot = out + i * VALUE_SLOT_FEATURES;
    if (i < n) {
      slot[0] = 1.0f;
      slot[1] = static_cast<float>(order[i]->x);
      slot[2] = static_cast<float>(order[i]->y);
      slot[3] = static_cast<float>(order[i]->r);
    } else {
      slot[0] = slot[1] = slot[2] = slot[3] = 0.0f;
    }
  }
}

}  // namespace

void valueFeatures(const CurlingGameState& s, float* out) {
  const int turn = s.getTurn();
  KELP_CHECK(1 <= turn && turn <= Kelp::TURN_FIRST);
  const int own = turn % 2;  // the stone thrown at turn t has colour t mod 2
  writeSide(s, own, out);
  writeSide(s, 1 - own, out + VALUE_SLOTS * VALUE_SLOT_FEATURES);
  std::fill(out + VALUE_THROWS_AT, out + VALUE_HAMMER_AT, 0.0f);
  out[VALUE_THROWS_AT + (Kelp::TURN_FIRST - turn)] = 1.0f;
  out[VALUE_HAMMER_AT] = own == Kelp::WHITE ? 1.0f : 0.0f;  // WHITE throws the end's last stone
}
