// A running FNV-1a digest (64 bits) over exact bit patterns: any changed bit
// of any value fed to it changes the digest. The replay tests pin down results
// (boards after throws, shot vectors, search statistics) with it, and
// kelp-strong's bench signs its play and seeds a decision with it.
#pragma once

#include <cstdint>
#include <string_view>

#include "kelpsimulator/thinkboard.h"

namespace Kelp {

class Digest {
 public:
  void addBytes(const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
      h_ = (h_ ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
  }
  void add(double v) { addBytes(&v, sizeof v); }
  void add(int64_t v) { addBytes(&v, sizeof v); }
  void add(std::string_view s) {
    add(static_cast<int64_t>(s.size()));
    addBytes(s.data(), s.size());
  }
  template <class... T>
  requires(sizeof...(T) > 1) void add(T... values) { (add(values), ...); }
  // Every member of the board that a throw can change.
  void add(const ThinkBoard& b) {
    add(int64_t{b.turn}, int64_t{b.end_score_now}, b.front_y, int64_t{b.last_index});
    for (int col = 0; col < 2; ++col) {
      add(int64_t{b.count[col]}, int64_t{b.in_house[col]});
      for (int i = 0; i < b.count[col]; ++i) {
        const Stone& s = b.stones[col][i];
        add(s.x, s.y, s.r, s.th, int64_t{b.state[col][i]});
      }
    }
  }
  uint64_t value() const { return h_; }

 private:
  uint64_t h_ = 14695981039346656037ull;
};

}  // namespace Kelp
