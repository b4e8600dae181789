#include "kelpsimulator/simulator.h"

#include <cmath>
#include <utility>

#include "kelpsimulator/check.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/thinkboard.h"

namespace Kelp {

SlideResult slide(double d, double vx, double vy, double w) {
  const double s = std::hypot(vx, vy);
  if (!(s > d)) {
    return {0.0, 0.0, 0.0};
  }
  const double ux = vx / s;
  const double uy = vy / s;
  double dx = -ux * d;
  double dy = -uy * d;
  if (w != 0.0) {
    // The curl pushes sideways, perpendicular to the direction of travel;
    // only the sign of the spin picks the side.
    const double k = d * CURL;
    if (w > 0.0) {
      dx += k * uy;
      dy -= k * ux;
    } else {
      dx -= k * uy;
      dy += k * ux;
    }
  }
  return {vx + dx, vy + dy, w};
}

ExactSimulator::ExactSimulator() : world(b2Vec2(0.0f, 0.0f)) {}

ExactSimulator::~ExactSimulator() {
  for (int i = 0; i < moving + stopped; ++i) {
    KELP_CHECK_TEXT(body[i] != nullptr, "body[i] != nullptr");
    world.DestroyBody(body[i]);
    body[i] = nullptr;
  }
}

void ExactSimulator::loadStone(double x, double y, double vx, double vy, double w, uint32_t t,
                               bool isMoving) {
  b2BodyDef def;
  def.type = b2_dynamicBody;
  def.position.Set(static_cast<float>(x), static_cast<float>(y));
  def.angle = 0.0f;
  b2Body* b = world.CreateBody(&def);

  b2CircleShape circle;
  circle.m_radius = STONE_RADIUS;
  circle.m_p.SetZero();
  b2FixtureDef fixture;
  fixture.shape = &circle;
  fixture.density = 10.0f;
  fixture.friction = static_cast<float>(FRICTION);
  fixture.restitution = 1.0f;
  fixture.isSensor = false;
  fixture.filter.categoryBits = 0x0003;
  fixture.filter.maskBits = 0x0003;
  fixture.filter.groupIndex = 0;
  b->CreateFixture(&fixture);

  int slot;
  if (isMoving) {
    // Moving stones are loaded first, so the rest partition is still empty.
    KELP_CHECK(stopped == 0);
    slot = moving++;
    b->SetLinearVelocity(b2Vec2(static_cast<float>(vx), static_cast<float>(vy)));
    b->SetAngularVelocity(static_cast<float>(w));
  } else {
    slot = moving + stopped++;
    b->SetLinearVelocity(b2Vec2(0.0f, 0.0f));
    b->SetAngularVelocity(0.0f);
  }
  KELP_CHECK(slot < 16);
  body[slot] = b;
  tag[slot] = t;
}

b2Vec2 ExactSimulator::position(int i) const {
  KELP_CHECK(0 <= i && i < moving + stopped);
  return body[i]->GetPosition();
}

void ExactSimulator::swapSlots(int a, int b) {
  std::swap(body[a], body[b]);
  std::swap(tag[a], tag[b]);
}

void ExactSimulator::slideAll(double d) {
  for (int i = 0; i < moving; ++i) {
    KELP_CHECK_TEXT(body[i] != nullptr, "body[i] != nullptr");
    const b2Vec2 v = body[i]->GetLinearVelocity();
    const double w = body[i]->GetAngularVelocity();
    const SlideResult r = slide(d, v.x, v.y, w);
    body[i]->SetLinearVelocity(b2Vec2(static_cast<float>(r.vx), static_cast<float>(r.vy)));
    body[i]->SetAngularVelocity(static_cast<float>(r.w));
  }
}

namespace {

bool inPlay(const b2Vec2& p) {
  return -2.23f < p.x && p.x < 2.23f && -36.545f < p.y && p.y < 1.975f;
}

bool atRest(const b2Body* b) {
  const b2Vec2 v = b->GetLinearVelocity();
  return v.x == 0.0f && v.y == 0.0f;
}

}  // namespace

int ExactSimulator::runExact(double dt, StepObserver* observer) {
  const double d = dt * FRICTION;
  const float step = static_cast<float>(dt);

  if (observer != nullptr) observer->started(*this);
  // Leapfrog: the velocities run half a friction step ahead of the positions
  // that Box2D integrates.
  slideAll(d / 2.0);

  for (int n = 0;; ++n) {
    world.Step(step, 10, 10);

    for (int i = 0; i < moving;) {
      KELP_CHECK_TEXT(body[i] != nullptr, "body[i] != nullptr");
      b2Body* b = body[i];
      if (inPlay(b->GetPosition())) {
        if (atRest(b)) {
          --moving;
          ++stopped;
          if (i != moving) {
            swapSlots(i, moving);
          }
          continue;
        }
        ++i;
        continue;
      }
      if (observer != nullptr) observer->leaving(*this, i, n + 1);
      if ((tag[i] & STONE_PROTECTED) != 0) {
        // A guard the free guard zone protects was knocked out: the shot is
        // illegal as a whole, so there is nothing more worth simulating.
        return 0;
      }
      world.DestroyBody(b);
      body[i] = nullptr;
      tag[i] = 0;
      --moving;
      // Close the hole so both partitions stay contiguous.
      int vacated = -1;
      if (i == moving) {
        if (stopped > 0) {
          swapSlots(i, i + stopped);
          vacated = i + stopped;
        }
      } else {
        swapSlots(i, moving);
        vacated = moving;
        if (stopped > 0) {
          swapSlots(moving, moving + stopped);
          vacated = moving + stopped;
        }
      }
      if (vacated >= 0) {
        body[vacated] = nullptr;
        tag[vacated] = 0;
      }
    }

    // Stones at rest that were hit in this step move again.
    for (int j = moving; j < moving + stopped; ++j) {
      KELP_CHECK_TEXT(body[j] != nullptr, "body[j] != nullptr");
      if (!atRest(body[j])) {
        swapSlots(j, moving);
        ++moving;
        --stopped;
      }
    }

    if (moving == 0) {
      return n;
    }
    slideAll(d);
    if (observer != nullptr) observer->stepped(*this, n + 1);
  }
}

}  // namespace Kelp
