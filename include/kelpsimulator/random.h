// The random engine of every search worker and of the experiment runner:
// dSFMT (Mersenne exponent 19937). All three draws take the next value of one
// and the same sequence.
#pragma once

#include <dSFMT.h>

#include <cstdint>

namespace Kelp {

class DsfmtEngine {
 public:
  explicit DsfmtEngine(uint32_t seed = 0) { dsfmt_init_gen_rand(&state_, seed); }

  double closeOpen12() { return dsfmt_genrand_close1_open2(&state_); }  // [1, 2)
  double openOpen() { return dsfmt_genrand_open_open(&state_); }        // (0, 1)
  uint32_t next32() { return dsfmt_genrand_uint32(&state_); }  // low 32 bits of the next double

  // A uniform index below n from one [1, 2) draw.
  int index(int n) { return static_cast<int>((closeOpen12() - 1.0) * n); }

 private:
  // The library is built with SSE2 and works on the state with aligned
  // 128-bit loads: the state must sit on a 16-byte boundary.
  alignas(16) dsfmt_t state_;
};

static_assert(alignof(DsfmtEngine) >= 16, "the dSFMT state needs 16-byte alignment");

// Seed from the calendar time in whole seconds, truncated to 32 bits.
uint32_t timeSeed();

}  // namespace Kelp
