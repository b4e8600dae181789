#include "referee/series_page.h"

#include "referee/outdir.h"
#include "referee/page.h"
#include "referee/series_files.h"

namespace Kelp::Referee {
namespace {

using nlohmann::json;

json optionalJson(const std::optional<double>& v) {
  return v ? json(*v) : json(nullptr);
}

}  // namespace

std::string seriesPageHtml(const SeriesConfig& config, const SeriesResult& result, bool finished) {
  json data = seriesJson(config, result);
  data["names"] = config.match.names;
  data["finished"] = finished;
  // The estimate after each counted game: [games, elo, low, high, score],
  // null where there is no number (an unbounded estimate or end).
  json history = json::array();
  for (std::size_t k = 0; k < result.history.size(); ++k) {
    const EloEstimate& e = result.history[k];
    history.push_back(json::array({k + 1, optionalJson(e.elo), optionalJson(e.low),
                                   optionalJson(e.high), optionalJson(e.score)}));
  }
  data["history"] = std::move(history);
  if (config.sprt && !result.sprt) {
    // Before it decides, the test's state is worked out from the counts.
    const SprtResult t = sprt(result.estimate.counts, *config.sprt);
    data["sprt"]["llr"] = t.llr;
    data["sprt"]["lower"] = t.lower;
    data["sprt"]["upper"] = t.upper;
    data["sprt"]["decision"] = std::string(sprtDecisionName(t.decision));
  }
  return pageHtml(PageKind::Series, embeddedJson(data));
}

bool writeSeriesPage(const SeriesConfig& config, const SeriesResult& result, bool finished) {
  return writeFileAtomically(config.match.outDir + "/series.html",
                             seriesPageHtml(config, result, finished));
}

}  // namespace Kelp::Referee
