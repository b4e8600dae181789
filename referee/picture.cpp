#include "referee/picture.h"

#include <fmt/format.h>

#include <cmath>
#include <fstream>

#include "kelpsimulator/primitive.h"
#include "referee/xml.h"

namespace Kelp::Referee {
namespace {

constexpr double SHEET_HALF_WIDTH = RECORD_TEE_X;
constexpr double WIDTH = 2 * SHEET_HALF_WIDTH * PIXELS_PER_METRE;
constexpr double HEIGHT = HEADER_PIXELS + (VIEW_Y_TOP - VIEW_Y_BOTTOM) * PIXELS_PER_METRE;
constexpr const char* LABEL_FILL[2] = {"#ffffff", "#000000"};  // readable on each stone
constexpr double STONE_PIXELS = static_cast<double>(STONE_RADIUS) * PIXELS_PER_METRE;

void ring(std::string& svg, double radius, const char* fill) {
  svg += fmt::format(R"(<circle cx="{:.2f}" cy="{:.2f}" r="{:.2f}" fill="{}"/>)", pixelX(0),
                     pixelY(0), radius * PIXELS_PER_METRE, fill);
  svg += '\n';
}

void line(std::string& svg, double x1, double y1, double x2, double y2, const char* stroke,
          double width, const char* cls) {
  svg += fmt::format(
      R"(<line class="{}" x1="{:.2f}" y1="{:.2f}" x2="{:.2f}" y2="{:.2f}" stroke="{}" stroke-width="{}"/>)",
      cls, pixelX(x1), pixelY(y1), pixelX(x2), pixelY(y2), stroke, width);
  svg += '\n';
}

void path(std::string& svg, const std::vector<PathPoint>& points, const char* stroke, double width,
          bool dashed) {
  if (points.size() < 2) return;
  svg +=
      fmt::format(R"(<polyline class="path" fill="none" stroke="{}" stroke-width="{}"{} points=")",
                  stroke, width, dashed ? R"( stroke-dasharray="6 4")" : "");
  for (const PathPoint& p : points) svg += fmt::format("{:.1f},{:.1f} ", pixelX(p.x), pixelY(p.y));
  svg += "\"/>\n";
}

}  // namespace

double pixelX(double x) {
  return (x + SHEET_HALF_WIDTH) * PIXELS_PER_METRE;
}
double pixelY(double y) {
  return HEADER_PIXELS + (VIEW_Y_TOP - y) * PIXELS_PER_METRE;
}

std::string sheetSvg(const SheetPicture& pic) {
  std::string svg = fmt::format(
      R"(<svg xmlns="http://www.w3.org/2000/svg" width="{0:.0f}" height="{1:.0f}" viewBox="0 0 {0:.0f} {1:.0f}">)",
      WIDTH, HEIGHT);
  svg += '\n';
  svg +=
      fmt::format(R"(<rect width="{:.0f}" height="{:.0f}" fill="#ffffff"/>)", WIDTH, HEADER_PIXELS);
  svg += fmt::format(R"(<text x="8" y="22" font-family="sans-serif" font-size="16">{}</text>)",
                     escapeXml(pic.title));
  svg += fmt::format(R"(<text x="8" y="44" font-family="sans-serif" font-size="13">{}</text>)",
                     escapeXml(pic.subtitle));
  for (int side = 0; side < 2; ++side) {
    const double x = 14 + side * WIDTH / 2;
    svg += fmt::format(
        R"(<circle cx="{:.0f}" cy="62" r="6" fill="{}" stroke="#333333"/><text x="{:.0f}" y="66" font-family="sans-serif" font-size="12">{}: {}</text>)",
        x, SIDE_FILL[side], x + 10, SIDE_NAME[side], escapeXml(pic.names[side]));
  }
  svg += '\n';
  svg += fmt::format(
      R"(<clipPath id="sheet"><rect x="0" y="{:.0f}" width="{:.0f}" height="{:.0f}"/></clipPath>)",
      HEADER_PIXELS, WIDTH, HEIGHT - HEADER_PIXELS);
  svg += "\n<g clip-path=\"url(#sheet)\">\n";
  svg += fmt::format(
      R"(<rect class="ice" x="0" y="{:.0f}" width="{:.0f}" height="{:.0f}" fill="#eef4fa"/>)",
      HEADER_PIXELS, WIDTH, HEIGHT - HEADER_PIXELS);
  svg += '\n';
  // The house: 12-foot, 8-foot and 4-foot rings and the button.
  ring(svg, HOUSE_RADIUS, "#3a6bc4");
  ring(svg, 1.22, "#ffffff");
  ring(svg, 0.61, "#e9a0a0");
  ring(svg, 0.15, "#ffffff");
  line(svg, -SHEET_HALF_WIDTH, 0, SHEET_HALF_WIDTH, 0, "#333333", 1, "tee-line");
  line(svg, 0, VIEW_Y_BOTTOM, 0, VIEW_Y_TOP, "#333333", 1, "centre-line");
  line(svg, -SHEET_HALF_WIDTH, HOUSE_RADIUS, SHEET_HALF_WIDTH, HOUSE_RADIUS, "#333333", 1.5,
       "back-line");
  line(svg, -SHEET_HALF_WIDTH, HOG_LINE_Y, SHEET_HALF_WIDTH, HOG_LINE_Y, "#b22222", 3, "hog-line");
  // The play area's edges: a stone whose centre crosses them is out.
  svg += fmt::format(
      R"(<rect class="play-area" x="{:.2f}" y="{:.2f}" width="{:.2f}" height="{:.2f}" fill="none" stroke="#999999" stroke-dasharray="3 3"/>)",
      pixelX(-PLAY_AREA_HALF_WIDTH), pixelY(PLAY_AREA_Y_MAX),
      2 * PLAY_AREA_HALF_WIDTH * PIXELS_PER_METRE,
      (PLAY_AREA_Y_MAX - VIEW_Y_BOTTOM + 1) * PIXELS_PER_METRE);
  svg += '\n';

  if (pic.paths) {
    for (int k = 0; k < SHOTS_PER_END; ++k) {
      if (k == pic.thrownSlot) continue;
      path(svg, (*pic.paths)[k], "#555555", 1.5, true);
    }
    if (pic.thrownSlot >= 0) path(svg, (*pic.paths)[pic.thrownSlot], "#111111", 2, false);
  }

  for (int k = 0; k < SHOTS_PER_END; ++k) {
    const Stone& s = pic.stones[k];
    if (!s.inPlay) continue;
    const int side = pic.sideOfSlot[k];
    const bool shortOfView = s.y < VIEW_Y_BOTTOM + STONE_RADIUS;
    // A stone short of the drawn part sits at the bottom edge, marked with
    // its real distance to the tee line.
    const double cy = shortOfView ? pixelY(VIEW_Y_BOTTOM) - STONE_PIXELS : pixelY(s.y);
    svg += fmt::format(
        R"(<circle class="stone" data-slot="{}" data-engine="{}" data-x="{}" data-y="{}" cx="{:.2f}" cy="{:.2f}" r="{:.2f}" fill="{}" stroke="{}" stroke-width="{}"/>)",
        k, SIDE_NAME[side], s.x, s.y, pixelX(s.x), cy, STONE_PIXELS, SIDE_FILL[side],
        k == pic.thrownSlot ? "#000000" : "#333333", k == pic.thrownSlot ? 3 : 1.5);
    svg += fmt::format(
        R"(<text x="{:.2f}" y="{:.2f}" font-family="sans-serif" font-size="11" font-weight="bold" text-anchor="middle" fill="{}">{}</text>)",
        pixelX(s.x), cy + 4, LABEL_FILL[side], k);
    if (shortOfView) {
      svg += fmt::format(
          R"(<text x="{:.2f}" y="{:.2f}" font-family="sans-serif" font-size="10" text-anchor="middle">{:.1f} m</text>)",
          pixelX(s.x), cy - STONE_PIXELS - 3, s.y);
    }
    svg += '\n';
  }
  svg += "</g>\n</svg>\n";
  return svg;
}

bool writeSvg(const std::string& path, const SheetPicture& picture) {
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  out << sheetSvg(picture);
  out.close();  // a failure to flush the last part shows only here
  return !out.fail();
}

}  // namespace Kelp::Referee
