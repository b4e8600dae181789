#include "kelpsimulator/primitive.h"

#include "kelpsimulator/check.h"

namespace Kelp {

bool isInFreeGuardZone(double r, double y) {
  if (inHouse(r)) return false;
  KELP_CHECK(isInPlayArea(FX_TEE, y));
  return y < FREE_GUARD_Y_MAX;
}

}  // namespace Kelp
