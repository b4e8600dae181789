#include "referee/throw.h"

#include "kelpsimulator/check.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/simulator.h"
#include "kelpsimulator/thinkboard.h"

namespace Kelp::Referee {
namespace {

constexpr int SLOT_SHIFT = 8;  // the slot number rides above the state bits

uint32_t tagFor(int slot, bool prot) {
  return static_cast<uint32_t>(slot % 2) | (prot ? STONE_PROTECTED : 0u) |
         (static_cast<uint32_t>(slot) << SLOT_SHIFT);
}
int slotOf(uint32_t tag) {
  return static_cast<int>(tag >> SLOT_SHIFT);
}

void load(ExactSimulator& sim, const Sheet& before, int slot, const ShotVector& shot,
          const std::array<bool, SHOTS_PER_END>& protect) {
  sim.loadStone(0.0, THROW_Y, shot.vx, shot.vy, curlRate(shot.spin), tagFor(slot, false), true);
  for (int k = 0; k < SHOTS_PER_END; ++k) {
    if (k == slot || !before[k].inPlay) continue;
    sim.loadStone(before[k].x, before[k].y, 0.0, 0.0, 0.0, tagFor(k, protect[k]), false);
  }
}

bool atRest(const b2Body* b) {
  const b2Vec2 v = b->GetLinearVelocity();
  return v.x == 0.0f && v.y == 0.0f;
}

// Samples the paths of the moving stones from the run itself: every stone
// where it starts, the moving ones every few steps, and each where it stops
// or leaves play. Stones that never move are dropped at the end.
class PathSampler final : public StepObserver {
 public:
  PathSampler(ThrowResult& result, int every) : result_(result), every_(every) {}

  void started(const ExactSimulator& sim) override {
    for (int i = 0; i < sim.size(); ++i) sample(sim, i, 0);
  }
  void leaving(const ExactSimulator& sim, int i, int n) override { sample(sim, i, n); }
  void stepped(const ExactSimulator& sim, int n) override {
    for (int i = 0; i < sim.moving; ++i) {
      if (n % every_ == 0 || atRest(sim.body[i])) sample(sim, i, n);  // or it has just stopped
    }
  }
  void dropStill() {
    for (auto& path : result_.paths) {
      if (path.size() == 1) path.clear();
    }
  }

 private:
  void sample(const ExactSimulator& sim, int i, int step) {
    const b2Vec2 p = sim.position(i);
    result_.paths[slotOf(sim.tagOf(i))].push_back({p.x, p.y, step});
  }

  ThrowResult& result_;
  int every_;
};

}  // namespace

ThrowResult throwStone(const Sheet& before, int slot, const ShotVector& shot,
                       const std::array<bool, SHOTS_PER_END>& protect,
                       const ThrowSettings& settings) {
  KELP_CHECK(0 <= slot && slot < SHOTS_PER_END);
  KELP_CHECK(!before[slot].inPlay);
  ThrowResult result;
  PathSampler sampler(result, settings.sampleEvery);
  {
    ExactSimulator sim;
    load(sim, before, slot, shot, protect);
    sim.runExact(settings.dt, settings.samplePaths ? &sampler : nullptr);
    result.foul = sim.endedOnFoul();
    for (int i = 0; i < sim.size(); ++i) {
      const b2Vec2 p = sim.position(i);
      result.after[slotOf(sim.tagOf(i))] = {true, p.x, p.y};
    }
  }
  sampler.dropStill();
  if (result.foul) {
    // Every stone goes back where it lay before the throw; the thrown stone
    // was not on the sheet then, so it is removed with the same copy.
    result.after = before;
  }
  return result;
}

}  // namespace Kelp::Referee
