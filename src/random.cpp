#include "kelpsimulator/random.h"

#include <ctime>

namespace Kelp {

uint32_t timeSeed() {
  return static_cast<uint32_t>(std::time(nullptr));
}

}  // namespace Kelp
