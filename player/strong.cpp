// The strong search: a UCB1 bandit per worker over the root's candidates,
// sampled with fresh execution error and finished by heuristic rollouts.
#include "player/strong.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <thread>

#include "kelpsimulator/check.h"
#include "kelpsimulator/digest.h"
#include "kelpsimulator/primitive.h"
#include "player/MonteCarlo.h"

namespace {

constexpr double TWO_PI = 6.283185307179586;
// Rollout draws land within this distance of the tee: well inside the house,
// where a draw is worth throwing.
constexpr double DRAW_RADIUS = 1.2;
// Share of rollout throws, when the side to throw holds shot, that guard the
// shot stone instead of drawing another one in.
constexpr double GUARD_SHARE = 0.3;

double uniform01(Kelp::DsfmtEngine& e) {
  return e.closeOpen12() - 1.0;
}

}  // namespace

StrongWorker::StrongWorker(const StrongParameters& params, uint32_t seed)
    : params_(params), seed_(seed), engine_(seed) {
  scratch_.reserve(SCRATCH_CAPACITY);
}

uint32_t workerSeed(uint32_t base, int worker) {
  // A 32-bit mix (splitmix-style) keeps neighbouring bases and workers far
  // apart in the engine's seeding.
  uint64_t z = (static_cast<uint64_t>(base) << 32) + static_cast<uint64_t>(worker) + 1;
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>(z ^ (z >> 31));
}

void StrongWorker::lastStoneReply(CurlingGameState& s) {
  const int me = s.getTurn() % 2;
  const int opp = 1 - me;
  // At most 2 draws and 2 x 2 take-outs.
  std::array<Kelp::ShotVector, 6> shots;
  size_t n = 0;
  const ShotAim draw = aimFor(0.0f, 0.0f, SHOT_DRAW);
  for (const bool spin : {false, true}) shots[n++] = shotFor(draw, spin);
  for (int i = 0; i < std::min(2, static_cast<int>(s.count[opp])); ++i) {
    const Kelp::Stone& t = s.stones[opp][i];
    if (!Kelp::inHouse(t.r)) break;
    const ShotAim hit = aimFor(static_cast<float>(t.x),
                               static_cast<float>(t.y - Kelp::STONE_RADIUS), SHOT_HIT_HARD);
    for (const bool spin : {false, true}) shots[n++] = shotFor(hit, spin);
  }
  // countScore is BLACK's score; me is the colour about to throw.
  const int sign = me == Kelp::BLACK ? 1 : -1;
  size_t best = 0;
  int bestScore = -100;
  for (size_t k = 0; k < n; ++k) {
    CurlingGameState t = s;
    Kelp::throwWithError(t, shots[k], Kelp::Velocity{0.0, 0.0});
    const int score = sign * t.countScore();
    if (score > bestScore) {
      bestScore = score;
      best = k;
    }
  }
  s.executeShot(shots[best], engine_);
}

void StrongWorker::rolloutThrow(CurlingGameState& s) {
  if (params_.last_stone_reply && s.getTurn() == Kelp::TURN_LAST + 1) {
    lastStoneReply(s);
    return;
  }
  if (!params_.heuristic_rollouts || uniform01(engine_) < params_.rollout_random) {
    s.getCandidates(scratch_);
    KELP_CHECK(!scratch_.empty());
    const int i = engine_.index(static_cast<int>(scratch_.size()));
    s.executeShot(scratch_[i].move.move_state, engine_);
    scratch_.clear();
    return;
  }
  const int me = s.getTurn() % 2;
  const int opp = 1 - me;
  const bool spin = engine_.index(2) == 1;
  // Who lies shot: the stone nearest the tee, if it touches the house.
  const bool oppShot = s.count[opp] > 0 && Kelp::inHouse(s.stones[opp][0].r) &&
                       (s.count[me] == 0 || s.stones[opp][0].r < s.stones[me][0].r);
  const bool myShot = s.count[me] > 0 && Kelp::inHouse(s.stones[me][0].r) &&
                      (s.count[opp] == 0 || s.stones[me][0].r < s.stones[opp][0].r);
  float x = 0.0f;
  float y = 0.0f;
  int kind = SHOT_DRAW;
  if (oppShot) {
    // Take the opponent's shot stone out, hitting it full.
    const Kelp::Stone& t = s.stones[opp][0];
    x = static_cast<float>(t.x);
    y = static_cast<float>(t.y - Kelp::STONE_RADIUS);
    kind = SHOT_HIT_HARD;
  } else if (myShot && s.stones[me][0].y > -1.0 && uniform01(engine_) < GUARD_SHARE) {
    // Guard the shot stone.
    const Kelp::Stone& t = s.stones[me][0];
    x = static_cast<float>(t.x);
    y = static_cast<float>(t.y - Kelp::HOUSE_RADIUS);
  } else {
    // Draw into the house, uniformly over a disc around the tee.
    const double r = DRAW_RADIUS * std::sqrt(uniform01(engine_));
    const double a = TWO_PI * uniform01(engine_);
    x = static_cast<float>(r * std::cos(a));
    y = static_cast<float>(r * std::sin(a));
  }
  const CurlingMoveState m(aimFor(x, y, kind), "R", spin);
  s.executeShot(m.shot(), engine_);
}

void StrongWorker::rollout(CurlingGameState& s) {
  for (;;) {
    s.checkTurn();
    if (s.IsFinalState()) return;
    rolloutThrow(s);
  }
}

namespace {

// A sample that ended with points v for the side to throw at root.
SampleValue endValue(const StrongParameters& p, const CurlingGameState& root, int v) {
  if (p.win_table != nullptr) {
    const MatchSituation& m = p.match;
    return {p.win_table->afterEnd(m.lead, v, m.hammer, m.endsAfter), static_cast<double>(v)};
  }
  if (p.play_for_the_win && root.ends_left == 0 && root.score_diff == 0) {
    return {static_cast<double>((v > 0) - (v < 0)), static_cast<double>(v)};
  }
  return {static_cast<double>(v), static_cast<double>(v)};
}

// The model's expected value of the end from s, where it is not over yet,
// for the side to throw at root: every score weighed by its probability.
SampleValue modelValue(const StrongParameters& p, const CurlingGameState& root,
                       const CurlingGameState& s) {
  float features[VALUE_FEATURES];
  float probs[VALUE_SCORES];
  valueFeatures(s, features);
  p.model->evaluate(features, probs);
  // The model's scores are the side to throw at s's; turns of the same
  // parity are the same side's.
  const int sign = (s.getTurn() - root.getTurn()) % 2 == 0 ? 1 : -1;
  SampleValue out{0.0, 0.0};
  for (int k = 0; k < VALUE_SCORES; ++k) {
    const SampleValue e = endValue(p, root, sign * (k - VALUE_MAX_SCORE));
    out.value += probs[k] * e.value;
    out.points += probs[k] * e.points;
  }
  return out;
}

}  // namespace

SampleValue StrongWorker::sample(const CurlingGameState& root, const CurlingMoveState& move) {
  CurlingGameState s = root;
  s.executeShot(move.shot(), engine_);
  if (params_.model == nullptr) {
    rollout(s);
    return endValue(params_, root, CurlingGameState::reward(root, s));
  }
  s.checkTurn();
  if (s.IsFinalState() || s.getTurn() <= params_.rollout_last_throws) {
    rollout(s);
    return endValue(params_, root, CurlingGameState::reward(root, s));
  }
  for (int k = 0; k < params_.model_rollout_throws; ++k) {
    s.checkTurn();
    if (s.IsFinalState()) break;
    rolloutThrow(s);
  }
  s.checkTurn();
  if (s.IsFinalState()) return endValue(params_, root, CurlingGameState::reward(root, s));
  return modelValue(params_, root, s);
}

size_t StrongWorker::choose() const {
  const size_t n = stats_.size();
  // The initial samples go round from a worker's own starting point, so that
  // short searches with many candidates still cover all of them between the
  // workers.
  for (size_t k = 0; k < n; ++k) {
    const size_t i = (k + offset_) % n;
    if (active_[i] != 0 && stats_[i].n < params_.initial_samples) return i;
  }
  const double logTotal = std::log(static_cast<double>(total_));
  double c = params_.exploration;
  if (params_.win_table != nullptr) {
    c = params_.match_exploration;
    if (params_.scale_exploration) {
      const double n = static_cast<double>(total_);
      const double mean = valueSum_ / n;
      c *= std::sqrt(std::max(0.0, valueSumSq_ / n - mean * mean));
    }
  }
  size_t best = 0;
  double bestScore = -1e300;
  for (size_t i = 0; i < n; ++i) {
    if (active_[i] == 0) continue;
    const double u = stats_[i].mean() + c * std::sqrt(logTotal / stats_[i].n);
    if (u > bestScore) {
      bestScore = u;
      best = i;
    }
  }
  return best;
}

void StrongWorker::prepare(size_t arms) {
  KELP_CHECK(arms != 0);
  if (stats_.size() != arms) {
    base_ = params_.refine_shots != 0 ? arms / (1 + REFINE_VARIANTS) : arms;
    KELP_CHECK(base_ != 0 && (base_ == arms || base_ * (1 + REFINE_VARIANTS) == arms));
    stats_.assign(arms, ArmStats{});
    active_.assign(arms, 0);
    std::fill(active_.begin(), active_.begin() + static_cast<std::ptrdiff_t>(base_), 1);
    total_ = 0;
    valueSum_ = valueSumSq_ = 0.0;
    refined_ = 0;
    nextRefine_ = static_cast<uint64_t>(base_) * params_.initial_samples;
    offset_ = static_cast<size_t>(engine_.index(static_cast<int>(base_)));
  }
}

void StrongWorker::refine() {
  // The best refinable candidate by mean, among those with their initial samples.
  size_t best = base_;
  for (size_t i = 0; i < base_; ++i) {
    if (active_[base_ + i * REFINE_VARIANTS] != 0 || stats_[i].n < params_.initial_samples) {
      continue;
    }
    if (best == base_ || stats_[i].mean() > stats_[best].mean()) best = i;
  }
  if (best == base_) return;
  for (size_t j = 0; j < REFINE_VARIANTS; ++j) active_[base_ + best * REFINE_VARIANTS + j] = 1;
  ++refined_;
}

void StrongWorker::step(const CurlingGameState& root,
                        const std::vector<CurlingMoveState>& candidates) {
  if (params_.refine_shots != 0 && refined_ < params_.refine_shots && total_ >= nextRefine_) {
    refine();
    nextRefine_ = total_ + std::max<uint64_t>(params_.refine_gap, base_);
  }
  const size_t i = choose();
  // Reseeded in place: the stream of sample j is the same for every arm.
  if (params_.common_errors) engine_ = Kelp::DsfmtEngine(workerSeed(seed_, stats_[i].n));
  const SampleValue v = sample(root, candidates[i]);
  ArmStats& a = stats_[i];
  ++a.n;
  a.sum += v.value;
  a.sumsq += v.value * v.value;
  a.points += v.points;
  valueSum_ += v.value;
  valueSumSq_ += v.value * v.value;
  ++total_;
}

void StrongWorker::run(const CurlingGameState& root,
                       const std::vector<CurlingMoveState>& candidates,
                       std::chrono::steady_clock::time_point start, int64_t deadline_ms) {
  prepare(candidates.size());
  while (elapsedMs(start) < deadline_ms) step(root, candidates);
}

void StrongWorker::run(const CurlingGameState& root,
                       const std::vector<CurlingMoveState>& candidates, uint64_t samples) {
  prepare(candidates.size());
  for (uint64_t k = 0; k < samples; ++k) step(root, candidates);
}

std::vector<CurlingMoveState> refinedArms(const std::vector<CurlingMoveState>& candidates) {
  std::vector<CurlingMoveState> arms = candidates;
  arms.reserve(candidates.size() * (1 + REFINE_VARIANTS));
  for (const CurlingMoveState& c : candidates) {
    for (size_t j = 0; j < REFINE_VARIANTS; ++j) {
      CurlingMoveState v = c;
      if (j < 2) {
        v.vx += j == 0 ? -REFINE_LINE : REFINE_LINE;
      } else {
        const double f = j == 2 ? 1.0 - REFINE_SPEED : 1.0 + REFINE_SPEED;
        v.vx *= f;
        v.vy *= f;
      }
      arms.push_back(v);
    }
  }
  return arms;
}

uint64_t workerSamples(uint64_t samples, int threads, int worker) {
  KELP_CHECK(threads > 0 && 0 <= worker && worker < threads);
  const uint64_t n = static_cast<uint64_t>(threads);
  return samples / n + (static_cast<uint64_t>(worker) < samples % n ? 1 : 0);
}

uint32_t decisionSeed(uint32_t seed, const CurlingGameState& state) {
  Kelp::Digest d;
  d.add(int64_t{seed}, int64_t{state.ends_left}, int64_t{state.score_diff});
  d.add(static_cast<const Kelp::ThinkBoard&>(state));
  const uint64_t h = d.value();
  return static_cast<uint32_t>(h ^ (h >> 32));
}

std::vector<ArmStats> strongSearch(const StrongParameters& params, const CurlingGameState& root,
                                   const std::vector<CurlingMoveState>& candidates, uint32_t base) {
  const int threads = std::max(1, params.threads);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<StrongWorker>> workers;
  for (int k = 0; k < threads; ++k) {
    workers.push_back(std::make_unique<StrongWorker>(params, workerSeed(base, k)));
  }
  auto work = [&](int k) {
    if (params.samples != 0) {
      workers[k]->run(root, candidates, workerSamples(params.samples, threads, k));
    } else {
      workers[k]->run(root, candidates, start, params.time_limit);
    }
  };
  {
    std::vector<std::jthread> running;
    for (int k = 1; k < threads; ++k) running.emplace_back(work, k);
    work(0);
  }
  std::vector<ArmStats> total(candidates.size());
  for (const auto& w : workers) {
    for (size_t i = 0; i < total.size(); ++i) {
      total[i].n += w->stats()[i].n;
      total[i].sum += w->stats()[i].sum;
      total[i].points += w->stats()[i].points;
      total[i].sumsq += w->stats()[i].sumsq;
    }
  }
  return total;
}

size_t robustChoice(const std::vector<ArmStats>& stats) {
  KELP_CHECK(!stats.empty());
  size_t best = 0;
  for (size_t i = 1; i < stats.size(); ++i) {
    const ArmStats& a = stats[i];
    const ArmStats& b = stats[best];
    if (a.n > b.n || (a.n == b.n && a.mean() > b.mean())) best = i;
  }
  return best;
}

StrongPlayer::StrongPlayer(StrongParameters params_) : BaseAI("Kelp_strong"), params(params_) {}

bool StrongPlayer::Init() {
  game_state.clear();
  return true;
}

ThinkResult StrongPlayer::Think(CurlingGameState state) {
  game_state = state;
  std::vector<Tree> nodes;
  game_state.getCandidates(nodes);
  KELP_CHECK(!nodes.empty());
  std::vector<CurlingMoveState> candidates;
  candidates.reserve(nodes.size());
  for (const Tree& t : nodes) candidates.push_back(t.move.move_state);
  if (params.refine_shots != 0) candidates = refinedArms(candidates);

  const uint32_t base = params.seed ? decisionSeed(*params.seed, game_state)
                                    : std::random_device{}() ^ Kelp::timeSeed();
  StrongParameters decision = params;
  if (decision.win_table != nullptr) {
    const bool hammer = game_state.getTurn() % 2 == 1;  // WHITE throws the odd turns, the last one
    decision.match = nextMatch_.value_or(
        MatchSituation{game_state.score_diff, hammer, std::max(0, game_state.ends_left)});
  }
  nextMatch_.reset();
  const std::vector<ArmStats> stats = strongSearch(decision, game_state, candidates, base);
  const size_t best = robustChoice(stats);

  uint64_t count = 0;
  for (const ArmStats& a : stats) count += a.n;
  Move chosen{candidates[best], UCTState{}};
  chosen.uct_state.visits = stats[best].n;
  chosen.uct_state.playouts = stats[best].n;
  chosen.uct_state.sum = decision.win_table != nullptr ? stats[best].meanPoints() : stats[best].sum;
  chosen.uct_state.mean = stats[best].mean();
  chosen.move_state.vy = -chosen.move_state.vy;  // board frame -> record frame
  return ThinkResult{chosen, static_cast<int>(count), static_cast<int>(nodes.size())};
}
