#include "referee/elo_plot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "svg_probe.h"

namespace Kelp {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using nlohmann::json;

// A steady series: after every pair of games, a 45 % / 30 % / 25 % split.
std::vector<EloEstimate> steadySeries(int pairs) {
  std::vector<EloEstimate> out;
  for (int p = 1; p <= pairs; ++p) {
    const std::int64_t n = 2 * p;
    const std::int64_t w = n * 45 / 100;
    const std::int64_t d = n * 30 / 100;
    out.push_back(estimateElo({w, d, n - w - d}));
  }
  return out;
}

// The value of attribute `name` of the first element of class `cls` ("" if none).
std::string attributeText(const std::string& svg, const std::string& cls, const std::string& name) {
  const std::size_t element = svg.find("class=\"" + cls + "\"");
  if (element == std::string::npos) return "";
  const std::size_t end = svg.find('>', element);
  const std::size_t at = svg.find(" " + name + "=\"", element);
  if (at == std::string::npos || at > end) return "";
  const std::size_t begin = at + name.size() + 3;
  return svg.substr(begin, svg.find('"', begin) - begin);
}

double attribute(const std::string& svg, const std::string& cls, const std::string& name) {
  const std::string text = attributeText(svg, cls, name);
  return text.empty() ? -1e9 : std::stod(text);
}

std::vector<std::pair<double, double>> points(const std::string& svg, const std::string& cls) {
  std::istringstream in(attributeText(svg, cls, "points"));
  std::vector<std::pair<double, double>> out;
  double x, y;
  char comma;
  while (in >> x >> comma >> y) out.emplace_back(x, y);
  return out;
}

void expectFiniteNumbers(const std::string& svg) {
  EXPECT_THAT(svg, Not(HasSubstr("nan")));
  EXPECT_THAT(svg, Not(HasSubstr("inf")));
}

// Vertical extent of the plot frame.
std::pair<double, double> topAndBottom(const std::string& svg) {
  const double top = attribute(svg, "frame", "y");
  return {top, top + attribute(svg, "frame", "height")};
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
    EXPECT_EQ(pic["width"], 640);
    EXPECT_EQ(pic["height"], 400);
    EXPECT_EQ(pic["title"], options.title) << "escaped in the file, intact when parsed";
    EXPECT_GE(pic["texts"], 8) << "tick labels";
    const std::string classes = pic["classes"].dump();
    for (const char* c : {"line.zero", "text.xlabel", "text.ylabel", "rect.frame"}) {
      EXPECT_THAT(classes, HasSubstr(c));
    }
    EXPECT_EQ(classes.find("polyline.estimate") != std::string::npos, played) << classes;
    EXPECT_EQ(classes.find("interval") != std::string::npos, played) << classes;
    EXPECT_EQ(classes.find("text.empty") != std::string::npos, !played) << classes;
  }
  EXPECT_FALSE(writeEloPlot(svg.parent_path() / "missing-dir" / "elo.svg", steadySeries(3)));
}

TEST(EloPlot, PlacesTheEstimateOnTheEloAxis) {
  EloPlotOptions options;
  options.eloLimit = 100.0;
  // Given out of order: the plot runs by games played.
  const std::vector<EloEstimate> series = {estimateElo({30, 40, 30}), estimateElo({2, 0, 1}),
                                           estimateElo({15, 10, 15})};
  const std::string svg = eloPlotSvg(series, options);
  const auto line = points(svg, "estimate");
  ASSERT_EQ(line.size(), 3u);
  EXPECT_LT(line[0].first, line[1].first);
  EXPECT_LT(line[1].first, line[2].first);
  const double zeroY = attribute(svg, "zero", "y1");
  const auto [topY, bottomY] = topAndBottom(svg);
  // Equal scores sit on the zero line, halfway down a symmetric axis.
  EXPECT_NEAR(line[2].second, zeroY, 0.06);
  EXPECT_NEAR(line[1].second, zeroY, 0.06);
  EXPECT_NEAR(zeroY, (topY + bottomY) / 2, 0.06);
  // 2/0/1: s = 2/3, elo = 400 log10(2) = +120.4, beyond +100: clipped to the top and marked.
  EXPECT_NEAR(line[0].second, topY, 0.06);
  EXPECT_THAT(svg, HasSubstr("class=\"clipped\""));
  // The band of the 30/40/30 point: +-53.158 on a +-100 axis.
  const auto band = points(svg, "interval");
  ASSERT_EQ(band.size(), 6u);
  EXPECT_NEAR(band[2].second, zeroY - 0.53158 * (bottomY - topY) / 2, 0.1);
  EXPECT_NEAR(band[3].second, zeroY + 0.53158 * (bottomY - topY) / 2, 0.1);
}

TEST(EloPlot, UnboundedValuesAreClippedToTheEdgeTheyPointTo) {
  EloPlotOptions options;
  // A clean sweep, then a clean loss, then an all-drawn series: no finite
  // estimate or no finite bounds; the automatic axis must still be finite.
  for (const MatchCounts& first : {MatchCounts{4, 0, 0}, MatchCounts{0, 0, 4}}) {
    const std::string svg =
        eloPlotSvg(std::vector<EloEstimate>{estimateElo(first), estimateElo({0, 6, 0})}, options);
    SCOPED_TRACE(svg);
    expectFiniteNumbers(svg);
    const auto [topY, bottomY] = topAndBottom(svg);
    const bool up = first.wins > 0;
    const auto line = points(svg, "estimate");
    ASSERT_EQ(line.size(), 2u);
    EXPECT_NEAR(line[0].second, up ? topY : bottomY, 0.06);
    // The marker's tip lies outside the frame, on the clipped side.
    const auto marker = points(svg, "clipped");
    ASSERT_EQ(marker.size(), 3u);
    EXPECT_TRUE(up ? marker[2].second < topY : marker[2].second > bottomY);
    // No bound anywhere: the band (corners high 0, high 1, low 1, low 0)
    // fills the axis and is marked at both edges.
    EXPECT_THAT(svg, HasSubstr("class=\"interval-clipped\""));
    const auto band = points(svg, "interval");
    ASSERT_EQ(band.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(band[i].second, i < 2 ? topY : bottomY, 0.06) << i;
  }
  // A forced axis that is not a number falls back to the automatic one.
  options.eloLimit = std::nan("");
  expectFiniteNumbers(eloPlotSvg(steadySeries(20), options));
}

}  // namespace
}  // namespace Kelp
