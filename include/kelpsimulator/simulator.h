// The exact stone model: every stone is a circular rigid body in a Box2D
// world without gravity. Box2D resolves the collisions; after every world
// step the program applies sliding friction and curl itself by rewriting each
// moving stone's velocity (slide). This header also owns slide, the one
// definition of how a stone's velocity changes on the ice, which the
// trajectory tables integrate too, so both models share one law.
#pragma once

#include <box2d/box2d.h>

#include <cstdint>

namespace Kelp {

// Sliding deceleration, speed lost per second (m/s^2); a float constant used
// as the double 12.00921630859375.
inline constexpr double FRICTION = static_cast<double>(12.009216f);
// Sideways deceleration as a fraction of FRICTION; the double 0.06669600307941437.
inline constexpr double CURL = static_cast<double>(0.066696f);
// Time step of the fallback run (s); the double 0.009999999776482582.
inline constexpr float SIM_STEP = 0.01f;

struct SlideResult {
  double vx;  // m/s
  double vy;  // m/s
  double w;   // rad/s; only its sign matters
};

// The sliding rule over a speed decrement d (m/s, not negative): the speed
// drops by d along the direction of travel, and a spinning stone is pushed
// sideways by d * CURL (w > 0: a stone moving toward +y drifts toward +x).
// A stone whose speed is at most d stops: velocity (0, 0), w 0.
SlideResult slide(double d, double vx, double vy, double w);

class ExactSimulator;

// Watches a run of the exact model step by step, for callers that need more
// than where the stones end (the referee draws the stones' paths from it).
// Slot numbers are the simulator's at the moment of the call.
class StepObserver {
 public:
  // Before the first step: every stone where it lies.
  virtual void started(const ExactSimulator& sim) = 0;
  // Slot i has left play in step n (from 1), before it is removed, or before
  // the run ends when it was protected.
  virtual void leaving(const ExactSimulator& sim, int i, int n) = 0;
  // After step n and the friction that follows it: slots 0 .. moving-1 moved
  // in the step (those hit in it included); those at rest now have just
  // stopped. Not called after the step in which every stone came to rest.
  virtual void stepped(const ExactSimulator& sim, int n) = 0;

 protected:
  ~StepObserver() = default;
};

// One run of the exact model: built, loaded, run once, read back, destroyed.
class ExactSimulator {
 public:
  ExactSimulator();
  ~ExactSimulator();
  ExactSimulator(const ExactSimulator&) = delete;
  ExactSimulator& operator=(const ExactSimulator&) = delete;

  // Adds a stone at (x, y) m with velocity (vx, vy) m/s and angular velocity
  // w rad/s. tag holds the think board's state bits (bit 0 colour, bit 3
  // protected). All moving stones are loaded before any stone at rest.
  void loadStone(double x, double y, double vx, double vy, double w, uint32_t tag, bool isMoving);

  // Steps with dt seconds (given to Box2D in single precision) until every
  // stone rests or a protected stone leaves play (then returns 0 at once).
  // Returns the number of full steps taken. observer, when given, watches
  // every step.
  int runExact(double dt, StepObserver* observer = nullptr);
  // After runExact: the run stopped because a protected stone left play (the
  // only way it ends with stones still moving).
  bool endedOnFoul() const { return moving > 0; }

  // Stones still held: slots 0 .. size()-1.
  int size() const { return moving + stopped; }
  b2Vec2 position(int i) const;
  uint32_t tagOf(int i) const { return tag[i]; }

  b2World world;
  b2Body* body[16] = {};
  uint32_t tag[16] = {};
  int32_t stopped = 0;  // stones at rest: slots moving .. moving+stopped-1
  int32_t moving = 0;   // stones in motion: slots 0 .. moving-1

 private:
  void slideAll(double d);
  void swapSlots(int a, int b);
};

}  // namespace Kelp
