// Candidate generation and playouts allocate nothing once the scratch vector
// is warm: they run at every throw of every playout.
#include <atomic>
#include <cstdlib>
#include <new>

#include "fixture.h"

// Counting replacements of the global allocation functions (not used under
// the sanitizers, which bring their own).
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#define KELP_COUNTING_ALLOCATIONS 1
#endif

namespace {

using Kelp::BLACK;
using Kelp::WHITE;

TEST(Allocation, WarmCandidateGenerationAndPlayoutsAllocateNothing) {
#ifndef KELP_COUNTING_ALLOCATIONS
  GTEST_SKIP() << "allocation counting is off under the sanitizers";
#else
  const CurlingGameState crowded = position(6, {{BLACK, 0.1, 0.2},
                                                {BLACK, -0.6, -0.9},
                                                {BLACK, 0.8, -2.5},
                                                {BLACK, 0.0, -4.0},
                                                {WHITE, 0.3, 0.5},
                                                {WHITE, -1.2, 0.4},
                                                {WHITE, 0.5, -1.6},
                                                {WHITE, -0.2, 1.1}});
  std::vector<Tree> scratch;
  scratch.reserve(SCRATCH_CAPACITY);
  crowded.getCandidates(scratch);  // warm
  scratch.clear();
  const long before = allocations.load();
  crowded.getCandidates(scratch);
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_GT(scratch.size(), 100u);
  scratch.clear();

  const long beforePlayouts = allocations.load();
  Kelp::DsfmtEngine engine(31);
  for (int i = 0; i < 20; ++i) {
    const CurlingGameState end = Playout(crowded, scratch, engine);
    EXPECT_TRUE(end.IsFinalState());
    engine.next32();
  }
  EXPECT_EQ(allocations.load() - beforePlayouts, 0);
  EXPECT_EQ(scratch.capacity(), SCRATCH_CAPACITY);
#endif
}

}  // namespace
