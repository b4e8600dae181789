// Pictures of the sheet as SVG: the house end at a readable scale with its
// rings, tee, centre, back and hog lines, the stones coloured by engine and
// numbered by throw, and the paths of the stones that moved in a throw.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "referee/rules.h"
#include "referee/throw.h"

namespace Kelp::Referee {

// Drawing scale and the part of the sheet drawn (board frame, m).
inline constexpr double PIXELS_PER_METRE = 80.0;
inline constexpr double VIEW_Y_TOP = 2.3;      // behind the back line
inline constexpr double VIEW_Y_BOTTOM = -7.2;  // in front of the hog line
inline constexpr double HOG_LINE_Y = -6.401;   // 21 ft in front of the tee
inline constexpr double HEADER_PIXELS = 76.0;  // title band above the sheet
inline constexpr const char* SIDE_FILL[2] = {"#c1121f", "#ffd60a"};

struct SheetPicture {
  std::string title;
  std::string subtitle;
  std::array<std::string, 2> names = {"A", "B"};  // the legend's engine names
  Sheet stones;
  std::array<int, SHOTS_PER_END> sideOfSlot{};  // which engine threw each slot
  int thrownSlot = -1;                          // highlighted, with its path
  const std::array<std::vector<PathPoint>, SHOTS_PER_END>* paths = nullptr;
};

// Pixel position of a board point in the picture.
double pixelX(double x);
double pixelY(double y);

std::string sheetSvg(const SheetPicture& picture);
// Writes the picture; false when the file cannot be written.
bool writeSvg(const std::string& path, const SheetPicture& picture);

}  // namespace Kelp::Referee
