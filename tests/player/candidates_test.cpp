// Candidate shots of a position: which patterns run, their order, labels,
// spins and targets, and the boundaries of the stone-dependent patterns.
#include <algorithm>
#include <bit>
#include <tuple>

#include "fixture.h"

namespace {

using Kelp::BLACK, Kelp::WHITE;

int count(const std::vector<Tree>& nodes, const std::string& prefix) {
  return static_cast<int>(std::ranges::count_if(
      nodes, [&](const Tree& t) { return t.move.move_state.label.starts_with(prefix); }));
}

// The full lists of fixed positions (targets and shot vectors too) are
// pinned by the search replay digests.
TEST(Candidates, StoneAtTheTeeGivesEveryStonePatternInOrder) {
  std::string listing;  // "label:spin" of every candidate, space-separated
  for (const Tree& t : candidates(position(10, {{BLACK, 0.0, 0.0}})))
    listing += t.move.move_state.label + ":" + std::to_string(t.move.move_state.spin) + " ";
  EXPECT_EQ(listing,
            "FREE_GUARD1:1 FREE_GUARD2:0 FREE_GUARD3:1 FREE_GUARD4:0 FREE_GUARD5:1 FREE_GUARD6:0 "
            "GUARD1:1 GUARD2:0 FREEZE1:1 FREEZE2:0 STRONG1:1 STRONG2:0 STRONG3:1 STRONG4:0 WEAK5:1 "
            "WEAK6:0 WEAK1:1 WEAK2:0 WEAK3:1 WEAK4:0 WEAK5:1 WEAK6:0 TEE1:1 TEE2:0 HOUSE1:1 "
            "HOUSE2:0 HOUSE3:1 HOUSE4:0 HOUSE5:1 HOUSE6:0 BLUESIDE:1 BLUESIDE2:0 BLUESIDE3:1 "
            "BLUESIDE4:0 WHITESIDE:1 WHITESIDE:0 WHITESIDE:1 WHITESIDE:0 ");
}

TEST(Candidates, StoneDependentBoundaries) {
  // The pattern house: the float distance up to the double 1.83; 1.83f lies
  // just above it, and 1.9 still counts for scoring.
  for (double x : {1.829, static_cast<double>(1.83f), 1.9}) {
    const CurlingGameState s = position(10, {{WHITE, x, 0.0}});
    EXPECT_EQ(s.in_house[WHITE], 1);
    EXPECT_EQ(candidates(s).size(), x < 1.83 ? 38u : 22u) << x;
  }
  // The come-around band: -1.22f is just below the double -1.22; -6 is
  // compared in float, strictly.
  for (float y : {-1.22f, -1.21f, -6.0f, -5.99f}) {
    const std::vector<Tree> got = candidates(position(10, {{BLACK, 0.3, y}}));
    const bool inBand = y != -1.21f && y != -6.0f;
    ASSERT_EQ(count(got, "COME_AROUND"), inBand ? 2 : 0) << y;
    if (!inBand) continue;
    const CurlingMoveState& first = got[y > -1.83f ? 8 : 6].move.move_state;
    EXPECT_EQ(std::tuple(first.label, first.spin), std::tuple("COME_AROUND1", 0));
    EXPECT_EQ(static_cast<float>(first.y), static_cast<float>(y + 2.4));
  }
  // Hits appear once the free-guard period is over.
  EXPECT_EQ(count(candidates(position(13, {{WHITE, 0.2, -1.5}})), "STRONG"), 0);
  EXPECT_EQ(count(candidates(position(12, {{WHITE, 0.2, -1.5}})), "STRONG"), 4);
}

// The playout's picker must give exactly the list's shots, on every board a
// seeded end passes through and for every pattern list.
TEST(Candidates, PickerGivesTheListsShotsBitForBit) {
  std::vector<Tree> none;  // a broken list number is reported and gives none
  ::testing::internal::CaptureStdout();
  appendCandidates(position(10, {}), 13, none);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Failed GetFunctions\nerror");
  EXPECT_TRUE(none.empty());
  const auto bits = [](double v) { return std::bit_cast<uint64_t>(v); };
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    Kelp::DsfmtEngine e(seed);
    for (CurlingGameState s = position(16, {}); !s.IsFinalState();) {
      for (int list = 0; list <= 13; ++list) {
        std::vector<Tree> all;
        if (list != 13) appendCandidates(s, list, all);
        const CandidatePicker picker(s, list);
        ASSERT_EQ(picker.count(), static_cast<int>(all.size())) << seed << " " << list;
        for (size_t i = 0; i < all.size(); ++i) {
          const Kelp::ShotVector a = picker.shot(static_cast<int>(i));
          const CurlingMoveState& m = all[i].move.move_state;
          ASSERT_EQ(std::tuple(bits(a.vx), bits(a.vy), a.spin),
                    std::tuple(bits(m.vx), bits(m.vy), m.spin))
              << seed << " " << list << " " << m.label;
        }
      }
      const CandidatePicker picker(s);
      ASSERT_EQ(picker.count(), static_cast<int>(candidates(s).size()));
      s.executeShot(picker.shot(e.index(picker.count())), e);
    }
  }
}

}  // namespace
