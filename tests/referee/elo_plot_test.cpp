#include "referee/elo_plot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "svg_probe.h"

namespace Kelp {
namespace {

using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using nlohmann::json;

// A steady series: after every pair of games, a 45 % / 30 % / 25 % split.
std::vector<EloEstimate> steadySeries(int pairs) {
  std::vector<EloEstimate> out;
  for (std::int64_t n = 2; n <= 2 * pairs; n += 2) {
    out.push_back(estimateElo({n * 45 / 100, n * 30 / 100, n - n * 45 / 100 - n * 30 / 100}));
  }
  return out;
}

TEST(EloPlot, IsWellFormedSvgThatRendersAtItsSize) {
  EloPlotOptions options;
  options.title = "new <fast> & \"old\" 'slow'";
  options.width = 640;
  options.height = 400;
  const fs::path svg = fs::path(::testing::TempDir()) / "kelp_elo_plot_test.svg";
  for (bool played : {true, false}) {
    // Nothing played yet: still a readable picture that says so.
    ASSERT_TRUE(writeEloPlot(
        svg, played ? steadySeries(150) : std::vector<EloEstimate>{estimateElo({})}, options));
    const json pic = KelpTest::probeSvg(svg.string());
    ASSERT_FALSE(pic.is_discarded()) << played;
    EXPECT_TRUE(pic["width"] == 640 && pic["height"] == 400) << pic;
    EXPECT_EQ(pic["title"], options.title) << "escaped in the file, intact when parsed";
    EXPECT_GE(pic["texts"], 8) << "tick labels";
    const std::string classes = pic["classes"].dump();
    const std::pair<const char*, bool> parts[] = {
        {"line.zero", true},    {"text.xlabel", true}, {"text.ylabel", true},
        {"rect.frame", true},   {"interval", played},  {"polyline.estimate", played},
        {"text.empty", !played}};
    for (const auto& [part, shown] : parts) {
      EXPECT_EQ(classes.find(part) != std::string::npos, shown) << part << " in " << classes;
    }
  }
  EXPECT_FALSE(writeEloPlot(svg.parent_path() / "missing-dir" / "elo.svg", steadySeries(3)));
}

// No finite estimate or bound (a sweep either way, every game drawn) or a
// forced axis that is not a number: the axis and every coordinate stay finite.
TEST(EloPlot, UnboundedValuesGiveFiniteCoordinates) {
  EloPlotOptions options;
  for (const MatchCounts& first : {MatchCounts{4, 0, 0}, MatchCounts{0, 0, 4}}) {
    const std::string svg =
        eloPlotSvg(std::vector<EloEstimate>{estimateElo(first), estimateElo({0, 6, 0})}, options);
    EXPECT_THAT(svg, AllOf(HasSubstr("class=\"interval-clipped\""), HasSubstr("class=\"clipped\""),
                           Not(AnyOf(HasSubstr("nan"), HasSubstr("inf")))));
  }
  options.eloLimit = std::nan("");
  EXPECT_THAT(eloPlotSvg(steadySeries(20), options),
              Not(AnyOf(HasSubstr("nan"), HasSubstr("inf"))));
}

}  // namespace
}  // namespace Kelp
