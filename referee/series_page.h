// series.html: the page of a series, rewritten after every counted game
// (the page reloads itself until the series has ended) and a last time at
// the end: the running figures, the Elo estimate and its interval over the
// games as a chart, and every game with a link to its match page.
#pragma once

#include <string>

#include "referee/series.h"

namespace Kelp::Referee {

// finished: the series will count no more games (done, decided, stopped or
// interrupted); the page then stops reloading.
std::string seriesPageHtml(const SeriesConfig& config, const SeriesResult& result, bool finished);
// Writes DIR/series.html whole (temporary name, then renamed); false when it
// could not be written.
bool writeSeriesPage(const SeriesConfig& config, const SeriesResult& result, bool finished);

}  // namespace Kelp::Referee
