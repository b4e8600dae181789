#include "referee/match_page.h"

#include <cmath>

#include "kelpsimulator/primitive.h"
#include "referee/match.h"
#include "referee/outdir.h"
#include "referee/page.h"
#include "referee/picture.h"

namespace Kelp::Referee {
namespace {

using nlohmann::json;

int mm(float metres) {
  return static_cast<int>(std::lround(static_cast<double>(metres) * 1000.0));
}

// The sheet as the pictures draw it, so that the page draws it the same.
json sheetJson() {
  return {{"half_width", RECORD_TEE_X},
          {"house", HOUSE_RADIUS},
          {"rings", {HOUSE_RADIUS, 1.22, 0.61, 0.15}},
          {"stone", STONE_RADIUS},
          {"hog", HOG_LINE_Y},
          {"back", HOUSE_RADIUS},
          {"view_top", VIEW_Y_TOP},
          {"view_bottom", VIEW_Y_BOTTOM},
          {"play_half_width", PLAY_AREA_HALF_WIDTH},
          {"play_y_max", PLAY_AREA_Y_MAX},
          {"free_guard_shots", FREE_GUARD_SHOTS},
          {"colours", {SIDE_FILL[0], SIDE_FILL[1]}}};
}

const char* stateName(MatchState state) {
  switch (state) {
    case MatchState::Playing:
      return "playing";
    case MatchState::Finished:
      return "finished";
    case MatchState::Interrupted:
      return "interrupted";
  }
  return "?";
}

}  // namespace

json pagePaths(const std::array<std::vector<PathPoint>, SHOTS_PER_END>& paths, int sampleEvery) {
  // A stone is drawn once its edge is in view; a point just before lets the
  // page move it in from the edge.
  const double inView = VIEW_Y_BOTTOM - static_cast<double>(STONE_RADIUS);
  json out = json::array();
  for (int slot = 0; slot < SHOTS_PER_END; ++slot) {
    const std::vector<PathPoint>& path = paths[slot];
    if (path.empty()) continue;
    std::size_t first = 0;
    while (first + 1 < path.size() && path[first + 1].y < inView) ++first;
    json points = json::array({slot});
    const PathPoint* last = nullptr;
    PathPoint hold{};
    for (std::size_t k = first; k < path.size(); ++k) {
      const PathPoint& p = path[k];
      if (last && p.step == last->step) continue;  // a stop sampled twice
      if (last && p.step - last->step > sampleEvery) {
        hold = {last->x, last->y, p.step - sampleEvery};
        points.insert(points.end(), {hold.step - last->step, 0, 0});
        last = &hold;
      }
      if (last) {
        points.push_back(p.step - last->step);
        points.push_back(mm(p.x) - mm(last->x));
        points.push_back(mm(p.y) - mm(last->y));
      } else {
        points.push_back(p.step);
        points.push_back(mm(p.x));
        points.push_back(mm(p.y));
      }
      last = &p;
    }
    out.push_back(std::move(points));
  }
  return out;
}

MatchPage::MatchPage(const MatchConfig& config)
    : config_({{"names", config.names},
               {"commands", config.commands},
               {"ends", config.ends},
               {"seed", config.seed},
               {"timeout", config.timeout},
               {"max_throws", config.maxThrows >= 0 ? json(config.maxThrows) : json(nullptr)},
               {"step_seconds", config.throwSettings.dt}}),
      sampleEvery_(config.throwSettings.sampleEvery) {}

void MatchPage::add(const ThrowRecord& record, double seconds,
                    const std::array<std::vector<PathPoint>, SHOTS_PER_END>* paths) {
  json j = toJson(record);
  j["seconds"] = std::round(seconds * 1000.0) / 1000.0;
  j["paths"] = paths ? pagePaths(*paths, sampleEvery_) : json::array();
  throws_.push_back(embeddedJson(j));
  bytes_ += throws_.back().size() + 1;
}

std::string MatchPage::html(const MatchResult& result, MatchState state) const {
  json faults = json::array();
  for (const Fault& f : result.faults) {
    faults.push_back(
        {{"engine", SIDE_NAME[f.side]}, {"end", f.end}, {"shot", f.shot}, {"what", f.what}});
  }
  const json head = {{"state", stateName(state)},
                     {"match", config_},
                     {"sheet", sheetJson()},
                     {"total", result.total},
                     {"winner", state != MatchState::Finished ? json(nullptr)
                                : result.winner < 0           ? json("draw")
                                                              : json(SIDE_NAME[result.winner])},
                     {"forfeits", result.forfeits},
                     {"faults", faults},
                     {"error", result.error.empty() ? json(nullptr) : json(result.error)}};
  // The throws, already embedded, are joined to the rest as text: a page
  // rewritten after every throw costs one pass over what it holds.
  std::string data = embeddedJson(head);
  data.pop_back();  // the closing brace
  data.reserve(data.size() + bytes_ + 16);
  data += ",\"throws\":[";
  for (std::size_t k = 0; k < throws_.size(); ++k) {
    if (k > 0) data += ',';
    data += throws_[k];
  }
  data += "]}";
  return pageHtml(PageKind::Match, data);
}

bool MatchPage::write(const std::string& dir, const MatchResult& result, MatchState state) const {
  return writeFileAtomically(dir + "/match.html", html(result, state));
}

}  // namespace Kelp::Referee
