#include "kelpsimulator/bitSet.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/death.h"

namespace Kelp {
namespace {

std::vector<int> members(bitSet s) {
  std::vector<int> out;
  forEach(s, [&](int p) { out.push_back(p); });
  return out;
}

TEST(BitSet, SetResetTestAndIterationFromTheLowestSlotUp) {
  EXPECT_TRUE(members(bitSet{}).empty());
  bitSet s;
  for (int p : {15, 0, 5, 31}) s.set(p);
  EXPECT_EQ(members(s), (std::vector<int>{0, 5, 15, 31}));
  EXPECT_EQ(s.size(), 4);
  EXPECT_TRUE(s.test(31));
  s.reset(7);  // not a member: no change
  EXPECT_EQ(s.word, 0x80008021u);
  for (int p : {31, 0, 5, 15}) s.reset(p);
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(andNot(bitSet(0b1111), bitSet(0b0101)).word, 0b1010u);
}

TEST(BitSet, PositionsOutsideTheWordFailThePrecondition) {
  bitSet s;
  EXPECT_CHECK_FAILS(s.test(32), "0<=p && p<32");
  EXPECT_CHECK_FAILS(s.set(-1), "0<=p && p<32");
}

}  // namespace
}  // namespace Kelp
