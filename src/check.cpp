#include "kelpsimulator/check.h"

#include <cstdio>
#include <cstdlib>

namespace Kelp {

void checkFailed(const char* condition, const char* file, int line, const char* function) noexcept {
  std::fflush(stdout);
  std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, function, condition);
  std::fflush(stderr);
  std::abort();
}

}  // namespace Kelp
