#include "driver/engine_options.h"

#include "driver/builtin_model.h"
#include "kelpsimulator/check.h"
#include "player/faithful.h"
#include "player/greedy.h"
#include "player/match_situation.h"
#include "player/strong.h"
#include "player/win_table.h"

namespace Kelp {
namespace {

constexpr double FAITHFUL_EXPLORATION = 0.25;

}  // namespace

std::shared_ptr<BaseAI<ThinkResult>> makeEnginePlayer(const EngineOptions& o) {
  if (o.search == "faithful") {
    SearchParameters params{o.thinkMs, 1, FAITHFUL_EXPLORATION};
    params.iterations = o.iterations;
    return std::make_shared<FaithfulPlayer>(params, o.seed);
  }
  if (o.search == "greedy") return std::make_shared<GreedyPlayer>(o.threads);
  StrongParameters params;
  params.time_limit = o.thinkMs;
  params.threads = o.threads;
  params.samples = o.samples;
  params.seed = o.seed;
  if (o.value == "match") params.win_table = &measuredWinTable();
  params.common_errors = o.commonErrors;
  params.last_stone_reply = o.lastStoneReply;
  params.refine_shots = o.refineShots;
  if (o.fixedExploration) {
    params.scale_exploration = false;
    params.match_exploration = 0.5;
  }
  std::string problem;
  const std::optional<const ValueModel*> model = engineModel(o, &problem);
  KELP_CHECK_TEXT(model.has_value(), "the options' model was checked with engineModel");
  params.model = *model;
  params.model_rollout_throws = o.modelRolloutThrows;
  params.rollout_last_throws = o.rolloutLast;
  return std::make_shared<StrongPlayer>(params);
}

std::optional<const ValueModel*> engineModel(const EngineOptions& o, std::string* error) {
  if (o.search != "strong" || o.noModel || o.modelFile.empty()) return nullptr;
  if (o.modelFile == BUILT_IN_MODEL) {
    if (builtInModelBytes().empty()) {
      if (error != nullptr) *error = "this program was built without a value model";
      return std::nullopt;
    }
    return sharedValueModel("", error);
  }
  return sharedValueModel(o.modelFile, error);
}

void prepareDecision(BaseAI<ThinkResult>& player, const ClientField& record) {
  if (auto* strong = dynamic_cast<StrongPlayer*>(&player)) strong->setMatch(matchSituation(record));
}

}  // namespace Kelp
