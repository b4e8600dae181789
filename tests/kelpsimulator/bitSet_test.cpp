#include "kelpsimulator/bitSet.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/death.h"

namespace Kelp {
namespace {

TEST(BitSet, SetResetAndIterationFromTheLowestSlotUp) {
  bitSet s;
  for (int p : {15, 0, 5, 31}) s.set(p);
  std::vector<int> members;
  forEach(s, [&](int p) { members.push_back(p); });
  EXPECT_EQ(members, (std::vector<int>{0, 5, 15, 31}));
  EXPECT_EQ(s.size(), 4);
  s.reset(7);  // not a member: no change
  EXPECT_EQ(s.word, 0x80008021u);
  EXPECT_EQ(andNot(bitSet(0b1111), bitSet(0b0101)).word, 0b1010u);
  EXPECT_CHECK_FAILS(s.test(32), "0<=p && p<32");
  EXPECT_CHECK_FAILS(s.set(-1), "0<=p && p<32");
}

}  // namespace
}  // namespace Kelp
