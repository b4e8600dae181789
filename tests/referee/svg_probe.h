// A picture as a person sees it, from svg_probe.py: parsed as XML, rendered
// with rsvg-convert (to PICTURE.png), its parts and rendered colours as JSON.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "support/process.h"

namespace KelpTest {

inline nlohmann::json probeSvg(const std::string& svg) {
  const Outcome r =
      runToEnd("/usr/bin/env",
               {"python3", KELP_SOURCE_DIR "/tests/referee/svg_probe.py", svg, svg + ".png"});
  EXPECT_EQ(r.status, 0) << r.out;
  return nlohmann::json::parse(r.out, nullptr, false);
}

}  // namespace KelpTest
