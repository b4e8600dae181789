#include "referee/elo_plot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace Kelp {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

fs::path scratchDir() {
  const fs::path dir = fs::path(::testing::TempDir()) / "kelp_elo_plot_test";
  fs::create_directories(dir);
  return dir;
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Parses the file with python's XML parser and checks the drawing's parts
// that a reader needs; prints the title text. Exit status 0 when all is there.
int checkSvgStructure(const fs::path& svg, const fs::path& titleOut, bool expectSeries) {
  const std::string script = R"(
import sys, xml.etree.ElementTree as E
ns = '{http://www.w3.org/2000/svg}'
root = E.parse(sys.argv[1]).getroot()
assert root.tag == ns + 'svg', root.tag
def has(tag, cls): return any(e.get('class') == cls for e in root.iter(ns + tag))
for tag, cls in [('line', 'zero'), ('text', 'title'), ('text', 'xlabel'), ('text', 'ylabel'),
                 ('rect', 'frame')]:
    assert has(tag, cls), cls
assert len(list(root.iter(ns + 'text'))) >= 8, 'tick labels'
if sys.argv[3] == '1':
    assert has('polyline', 'estimate') and (has('polygon', 'interval') or has('rect', 'interval'))
else:
    assert not has('polyline', 'estimate') and has('text', 'empty')
title = [e for e in root.iter(ns + 'text') if e.get('class') == 'title'][0].text
open(sys.argv[2], 'w', encoding='utf-8').write(title)
)";
  const fs::path scriptFile = scratchDir() / "check_svg.py";
  std::ofstream(scriptFile) << script;
  const std::string command = "python3 '" + scriptFile.string() + "' '" + svg.string() + "' '" +
                              titleOut.string() + "' " + (expectSeries ? "1" : "0");
  return std::system(command.c_str());
}

// Width and height from the PNG header (IHDR follows the 8-byte signature).
std::pair<std::uint32_t, std::uint32_t> pngSize(const fs::path& png) {
  const std::string bytes = readFile(png);
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
  auto be32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = at; i < at + 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[i]);
    return v;
  };
  return {be32(16), be32(20)};
}

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

TEST(EloPlot, IsWellFormedSvgThatRendersAtItsSize) {
  EloPlotOptions options;
  options.title = "new <fast> & \"old\" 'slow'";
  options.width = 640;
  options.height = 400;
  const fs::path dir = scratchDir();
  const fs::path svg = dir / "elo.svg";
  const fs::path png = dir / "elo.png";
  const fs::path title = dir / "title.txt";
  fs::remove(png);
  ASSERT_TRUE(writeEloPlot(svg, steadySeries(150), options));
  ASSERT_EQ(checkSvgStructure(svg, title, true), 0) << readFile(svg);
  EXPECT_EQ(readFile(title), options.title);  // escaped in the file, intact when parsed
  const std::string command = "rsvg-convert '" + svg.string() + "' -o '" + png.string() + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(pngSize(png), std::make_pair(640u, 400u));

  // Nothing played yet: still a readable picture that says so.
  ASSERT_TRUE(writeEloPlot(svg, std::vector<EloEstimate>{estimateElo({})}, options));
  ASSERT_EQ(checkSvgStructure(svg, title, false), 0) << readFile(svg);
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(pngSize(png), std::make_pair(640u, 400u));

  EXPECT_FALSE(writeEloPlot(dir / "missing-dir" / "elo.svg", steadySeries(3)));
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
  const double topY = attribute(svg, "frame", "y");
  const double bottomY = topY + attribute(svg, "frame", "height");
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
  const double halfHeight = (bottomY - topY) / 2;
  EXPECT_NEAR(band[2].second, zeroY - 0.53158 * halfHeight, 0.1);
  EXPECT_NEAR(band[3].second, zeroY + 0.53158 * halfHeight, 0.1);
}

TEST(EloPlot, UnboundedValuesAreClippedToTheEdgeTheyPointTo) {
  EloPlotOptions options;
  // A clean sweep, then a clean loss, then an all-drawn series: no finite
  // estimate or no finite bounds; the automatic axis must still be finite.
  for (const MatchCounts& first : {MatchCounts{4, 0, 0}, MatchCounts{0, 0, 4}}) {
    const std::vector<EloEstimate> series = {estimateElo(first), estimateElo({0, 6, 0})};
    const std::string svg = eloPlotSvg(series, options);
    SCOPED_TRACE(svg);
    expectFiniteNumbers(svg);
    const double topY = attribute(svg, "frame", "y");
    const double bottomY = topY + attribute(svg, "frame", "height");
    const auto line = points(svg, "estimate");
    ASSERT_EQ(line.size(), 2u);
    EXPECT_NEAR(line[0].second, first.wins > 0 ? topY : bottomY, 0.06);
    const auto marker = points(svg, "clipped");
    ASSERT_EQ(marker.size(), 3u);
    // The triangle's tip lies outside the frame, on the clipped side.
    if (first.wins > 0) {
      EXPECT_LT(marker[2].second, topY);
    } else {
      EXPECT_GT(marker[2].second, bottomY);
    }
    // No bound anywhere: the band fills the axis and is marked at both edges.
    EXPECT_THAT(svg, HasSubstr("class=\"interval-clipped\""));
    // Band corners: high 0, high 1, low 1, low 0.
    const auto band = points(svg, "interval");
    ASSERT_EQ(band.size(), 4u);
    EXPECT_NEAR(band[0].second, topY, 0.06);
    EXPECT_NEAR(band[1].second, topY, 0.06);
    EXPECT_NEAR(band[2].second, bottomY, 0.06);
    EXPECT_NEAR(band[3].second, bottomY, 0.06);
  }
  // A forced axis that is not a number falls back to the automatic one.
  options.eloLimit = std::nan("");
  expectFiniteNumbers(eloPlotSvg(steadySeries(20), options));
}

}  // namespace
}  // namespace Kelp
