// A set of stone slots in one 32-bit word. The fast simulator does all of its
// bookkeeping (moving stones, resting stones, candidates per stone) with these.
// Iteration always runs from the lowest slot upward; that order is part of the
// simulator's behaviour (which contact is found first, write-back order).
#pragma once

#include <cstdint>

#include "kelpsimulator/check.h"

namespace Kelp {

struct bitSet {
  uint32_t word = 0;

  constexpr bitSet() = default;
  constexpr explicit bitSet(uint32_t w) : word(w) {}

  void set(int p) {
    KELP_CHECK_TEXT(0 <= p && p < 32, "0<=p && p<32");
    word |= (1u << p);
  }
  void reset(int p) {
    KELP_CHECK_TEXT(0 <= p && p < 32, "0<=p && p<32");
    word &= ~(1u << p);
  }
  bool test(int p) const {
    KELP_CHECK_TEXT(0 <= p && p < 32, "0<=p && p<32");
    return (word >> p) & 1u;
  }
  // Only called on a non-empty set.
  int lowest() const { return __builtin_ctz(word); }
  void popLowest() { word &= word - 1; }
  bool empty() const { return word == 0; }
  int size() const { return __builtin_popcount(word); }

  friend constexpr bitSet operator&(bitSet a, bitSet b) { return bitSet(a.word & b.word); }
  friend constexpr bitSet operator|(bitSet a, bitSet b) { return bitSet(a.word | b.word); }
  friend constexpr bitSet operator~(bitSet a) { return bitSet(~a.word); }
  friend constexpr bool operator==(bitSet a, bitSet b) { return a.word == b.word; }
  bitSet& operator&=(bitSet b) {
    word &= b.word;
    return *this;
  }
  bitSet& operator|=(bitSet b) {
    word |= b.word;
    return *this;
  }
  // a without the members of b.
  friend constexpr bitSet andNot(bitSet a, bitSet b) { return bitSet(a.word & ~b.word); }
};

// Calls f(slot) for every member, lowest first.
template <class F>
inline void forEach(bitSet s, F&& f) {
  while (!s.empty()) {
    f(s.lowest());
    s.popLowest();
  }
}

}  // namespace Kelp
