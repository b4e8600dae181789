// Helpers for tests of the always-on invariant checks.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

// Expects stmt to stop the program through the project's assertion with the
// given condition text.
#define EXPECT_CHECK_FAILS(stmt, condition) \
  EXPECT_DEATH(stmt, ::testing::HasSubstr(std::string("`") + (condition) + "' failed"))
