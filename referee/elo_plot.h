// The Elo plot of a match series (elo.svg): the Elo estimate of A over B and
// its 95 % interval against the number of games played, so that a person can
// see at a glance whether the estimate has settled and on which side of zero.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "referee/stats.h"

namespace Kelp {

struct EloPlotOptions {
  std::string title = "Elo difference over the match";
  std::string nameA = "A";
  std::string nameB = "B";
  int width = 900;   // pixels (SVG user units)
  int height = 540;  // pixels
  // Half height of the Elo axis (the axis runs from -limit to +limit). Empty:
  // chosen from the data, ignoring the wild estimates of the first quarter of
  // the games, between +-25 and +-800.
  std::optional<double> eloLimit;
};

// The series holds one estimate per sampled game count (for example after
// every pair of games); order does not matter and estimates without games are
// left out. Values beyond the axis range, and unbounded ones, are clipped to
// the plot's edge and marked there: red triangles for the estimate, dashed
// strips for the interval.
std::string eloPlotSvg(std::span<const EloEstimate> series, const EloPlotOptions& options = {});

// Writes eloPlotSvg to `file`; false when the file could not be written.
[[nodiscard]] bool writeEloPlot(const std::filesystem::path& file,
                                std::span<const EloEstimate> series,
                                const EloPlotOptions& options = {});

}  // namespace Kelp
