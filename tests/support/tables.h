// Include in a test binary that reads the trajectory tables: they are built
// once, while the program starts, before the first test runs (the build
// takes a noticeable time).
#pragma once

#include "kelpsimulator/trajectory.h"

namespace Kelp::testing {

inline const bool TABLES_BUILT = (buildTables(), true);

}  // namespace Kelp::testing
