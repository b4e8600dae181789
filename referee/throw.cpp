#include "referee/throw.h"

#include "kelpsimulator/check.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/simulator.h"

namespace Kelp::Referee {
namespace {

constexpr uint32_t PROTECTED_TAG = 8;  // the simulator's STONE_PROTECTED bit
constexpr int SLOT_SHIFT = 8;          // the slot number rides above the state bits
// No throw runs longer than this (s): stones stop after a few seconds.
constexpr double MAX_RUN_TIME = 600.0;

uint32_t tagFor(int slot, bool prot) {
  return static_cast<uint32_t>(slot % 2) | (prot ? PROTECTED_TAG : 0u) |
         (static_cast<uint32_t>(slot) << SLOT_SHIFT);
}
int slotOf(uint32_t tag) {
  return static_cast<int>(tag >> SLOT_SHIFT);
}

// The simulator's own in-play test: strict, in single precision.
bool inPlayDuringRun(const b2Vec2& p) {
  return -2.23f < p.x && p.x < 2.23f && -36.545f < p.y && p.y < 1.975f;
}

void load(ExactSimulator& sim, const Sheet& before, int slot, const ShotVector& shot,
          const std::array<bool, SHOTS_PER_END>& protect) {
  sim.loadStone(0.0, THROW_Y, shot.vx, shot.vy, spinVelocity(shot.spin), tagFor(slot, false), true);
  for (int k = 0; k < SHOTS_PER_END; ++k) {
    if (k == slot || !before[k].inPlay) continue;
    sim.loadStone(before[k].x, before[k].y, 0.0, 0.0, 0.0, tagFor(k, protect[k]), false);
  }
}

void slideBody(b2Body* b, double d) {
  const b2Vec2 v = b->GetLinearVelocity();
  const SlideResult r = slide(d, v.x, v.y, b->GetAngularVelocity());
  b->SetLinearVelocity(b2Vec2(static_cast<float>(r.vx), static_cast<float>(r.vy)));
  b->SetAngularVelocity(static_cast<float>(r.w));
}

bool atRest(const b2Body* b) {
  const b2Vec2 v = b->GetLinearVelocity();
  return v.x == 0.0f && v.y == 0.0f;
}

void dropStill(ThrowResult& result) {
  for (auto& path : result.paths) {
    if (path.size() == 1) path.clear();
  }
}

// The same run as runExact (the same world steps and friction updates), with
// the positions of the moving stones sampled on the way. Slots are kept
// compact as all moving, which the simulator's teardown accepts.
void samplePaths(ExactSimulator& sim, const ThrowSettings& settings, ThrowResult& result) {
  sim.moving += sim.stopped;
  sim.stopped = 0;
  const double d = settings.dt * FRICTION;
  const long maxSteps = static_cast<long>(MAX_RUN_TIME / settings.dt);
  auto sample = [&](int i) {
    const b2Vec2 p = sim.body[i]->GetPosition();
    result.paths[slotOf(sim.tag[i])].push_back({p.x, p.y});
  };
  // Every stone's path starts where it lies; those that never move are
  // dropped at the end.
  for (int i = 0; i < sim.moving; ++i) {
    sample(i);
    if (!atRest(sim.body[i])) slideBody(sim.body[i], d / 2);
  }
  for (long step = 1; step <= maxSteps; ++step) {
    sim.world.Step(static_cast<float>(settings.dt), 10, 10);
    bool anyMoving = false;
    for (int i = 0; i < sim.moving;) {
      b2Body* b = sim.body[i];
      if (atRest(b)) {
        ++i;
        continue;
      }
      if (!inPlayDuringRun(b->GetPosition())) {
        sample(i);
        // A protected guard out of play ends the run where it stands.
        if (sim.tag[i] & PROTECTED_TAG) return dropStill(result);
        sim.world.DestroyBody(b);
        const int last = --sim.moving;
        sim.body[i] = sim.body[last];
        sim.tag[i] = sim.tag[last];
        sim.body[last] = nullptr;
        continue;
      }
      anyMoving = true;
      if (step % settings.sampleEvery == 0) sample(i);
      ++i;
    }
    if (!anyMoving) break;
    for (int i = 0; i < sim.moving; ++i) {
      if (atRest(sim.body[i])) continue;
      slideBody(sim.body[i], d);
      // A stone that has just stopped ends its path where it lies.
      if (atRest(sim.body[i])) sample(i);
    }
  }
  dropStill(result);
}

}  // namespace

ThrowResult throwStone(const Sheet& before, int slot, const ShotVector& shot,
                       const std::array<bool, SHOTS_PER_END>& protect,
                       const ThrowSettings& settings) {
  KELP_CHECK(0 <= slot && slot < SHOTS_PER_END);
  KELP_CHECK(!before[slot].inPlay);
  ThrowResult result;
  {
    ExactSimulator sim;
    load(sim, before, slot, shot, protect);
    sim.runExact(settings.dt);
    for (int i = 0; i < sim.size(); ++i) {
      const b2Vec2 p = sim.position(i);
      if ((sim.tagOf(i) & PROTECTED_TAG) && !inPlayDuringRun(p)) result.foul = true;
      result.after[slotOf(sim.tagOf(i))] = {true, p.x, p.y};
    }
  }
  if (result.foul) {
    result.after = before;
    result.after[slot].inPlay = false;
  }
  if (settings.samplePaths) {
    ExactSimulator sim;
    load(sim, before, slot, shot, protect);
    samplePaths(sim, settings, result);
  }
  return result;
}

}  // namespace Kelp::Referee
