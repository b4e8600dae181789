// Member-by-member comparison of game records, for checks that a rejected
// message left the record exactly as it was. Header-only and free of gtest,
// so the fuzzer can use it too.
#pragma once

#include <cstring>

#include "kelpsimulator/field.h"

namespace KelpTest {

inline bool sameRecord(const Kelp::ClientField& a, const Kelp::ClientField& b) {
  for (int p = 0; p < 2; ++p) {
    if (a.counter_a[p] != b.counter_a[p] || a.counter_b[p] != b.counter_b[p] ||
        a.counter_c[p] != b.counter_c[p] || a.score[p] != b.score[p])
      return false;
  }
  for (int e = 0; e < 16; ++e) {
    if (a.end_score[e][0] != b.end_score[e][0] || a.end_score[e][1] != b.end_score[e][1])
      return false;
    // Bitwise, so that a NaN position compares equal to itself.
    if (std::memcmp(&a.position[e], &b.position[e], sizeof a.position[e]) != 0) return false;
  }
  return a.color == b.color && a.my_color == b.my_color && a.rel_score == b.rel_score &&
         a.end == b.end && a.last_end == b.last_end && a.shot == b.shot;
}

}  // namespace KelpTest
