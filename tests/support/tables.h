// Include in a test binary that reads the trajectory tables: they are built
// once, before the first test runs (the build takes a noticeable time).
#pragma once

#include <gtest/gtest.h>

#include "kelpsimulator/trajectory.h"

namespace Kelp::testing {

class TablesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { buildTables(); }
};
inline ::testing::Environment* const kTablesEnvironment =
    ::testing::AddGlobalTestEnvironment(new TablesEnvironment);

}  // namespace Kelp::testing
