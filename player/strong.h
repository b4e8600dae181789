// The strong search of kelp-strong: a bandit over the root's candidate shots.
// Every sample throws the shot with a fresh execution error through the fast
// simulator, finishes the end with rollouts in which both sides play sensible
// shots, and scores the end for the side to throw. Several workers, each with
// its own seed and statistics, run side by side for the whole time; their
// statistics are summed and the most sampled shot is chosen.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "kelpsimulator/random.h"
#include "player/ai.h"
#include "player/curling.h"
#include "player/match_situation.h"
#include "player/value_model.h"
#include "player/win_table.h"

// Everything the strong search can be tuned by. Read-only while the workers
// run, so they share it without locking.
struct StrongParameters {
  int32_t time_limit = 4600;  // milliseconds per decision (wall time; the workers run side by side)
  int threads = 1;            // workers; kelp-strong uses the machine's cores
  // Budget: when not 0, a decision takes exactly this many samples, all
  // workers together (worker k takes samples / threads, one more when
  // k < samples % threads), and the clock is never read. With a seed, the
  // decision then depends only on the position, the seed and threads, not
  // on the machine or its load. 0: the time limit.
  uint64_t samples = 0;
  // The seed of every decision, mixed with the position (decisionSeed).
  // None: a fresh seed per decision from the system and the clock.
  std::optional<uint32_t> seed{};
  // UCB1 constant in points of end score: an end score's spread over the
  // execution error is about one to two points, so 1.0 keeps trying a shot
  // whose mean is within about a point of the best until it has had a fair
  // number of samples.
  double exploration = 1.0;
  // Samples every candidate gets before the bandit starts to choose: one
  // sample is too noisy to rank on.
  uint32_t initial_samples = 2;
  // Rollouts: the share of throws that are a uniformly random candidate
  // (as the original playout) instead of the heuristic shot. Some randomness
  // keeps the rollouts from being blind to shots the heuristic never plays.
  double rollout_random = 0.25;
  // Off: every rollout throw is a uniformly random candidate.
  bool heuristic_rollouts = true;
  // In the match's last end with the match level, only the sign of the end
  // score decides the game: a sample then counts +1, 0 or -1, so a safe
  // single point is worth as much as a risky three. Used only when samples
  // are valued by their points (win_table null).
  bool play_for_the_win = true;
  // Values a sampled end by the chance to win the match after it: the end's
  // points mapped through the table, from where `match` says the side to
  // throw stands. Null: by the end's points. Shared, read-only.
  const WinTable* win_table = nullptr;
  MatchSituation match{};
  // UCB1 constant when samples are win chances, per unit of their spread:
  // the constant is this times the standard deviation of all the worker's
  // sample values so far. Win chances of different shots differ by a few
  // hundredths early in a match and by a half in its last stones, so no
  // fixed constant suits both. 0.7 per spread is about what the points'
  // constant of 1.0 is to the points' spread of 1.5.
  double match_exploration = 0.7;
  // Off: the constant is match_exploration itself, not scaled by the spread.
  bool scale_exploration = true;
  // Common random numbers: the j-th sample of every candidate draws from
  // the same stream (the worker's seed and j), so the first throw of each
  // gets the same execution error and two shots are compared on the same
  // luck rather than on different luck.
  bool common_errors = false;
  // The end's last stone in a rollout: instead of the heuristic shot, the
  // best of a few plain replies (draws to the tee, take-outs of the
  // opponent's two nearest stones in the house, both spins), each thrown
  // once without error and judged by the end score as it then lies, then
  // thrown with error. The last stone decides most ends, and the heuristic
  // misjudges it most.
  bool last_stone_reply = false;
  // Refinement: the patterns' shots are coarse and good shots are narrow,
  // so the best shots also get variants of their own (REFINE_VARIANTS small
  // changes of line and speed, see refinedArms). Once every candidate has
  // had its initial samples, and again after every max(refine_gap,
  // candidates) samples, a worker gives variants to its best shot by mean
  // that has none yet, at most refine_shots of them per decision. 0: off.
  uint32_t refine_shots = 0;
  uint32_t refine_gap = 50;
  // A learned value of positions (shared, read-only): with one, a sample
  // stops after its shot and model_rollout_throws rollout throws and takes
  // the model's expected value of the end from there (an end that is over
  // by then is scored as it lies). Null: every sample is rolled out to the
  // end.
  const ValueModel* model = nullptr;
  int model_rollout_throws = 0;
  // With a model: a sample whose shot leaves at most this many throws in
  // the end is rolled out to the end instead. The model is least accurate
  // in the end's last throws, where what is left is most often decided by
  // one precise stone, and rollouts are cheapest there.
  int rollout_last_throws = 0;
};

// Variants per refined shot: the line moved by REFINE_LINE each way, the
// speed scaled by 1 +- REFINE_SPEED. A change of vx by 0.08 m/s moves the
// stone about 0.08 m sideways at the house, and 0.2 % of the speed about
// 0.12 m along the path: about the execution error's scatter (0.145 m per
// axis), so a variant is a different shot and not the same one again.
inline constexpr size_t REFINE_VARIANTS = 4;
inline constexpr double REFINE_LINE = 0.08;    // m/s added to vx
inline constexpr double REFINE_SPEED = 0.002;  // share of the speed

// The arms of a refined search: the candidates, then REFINE_VARIANTS
// variants of each (variant j of candidate i at candidates + i *
// REFINE_VARIANTS + j).
std::vector<CurlingMoveState> refinedArms(const std::vector<CurlingMoveState>& candidates);

// Per-candidate statistics of one worker; summed over the workers.
struct ArmStats {
  uint32_t n = 0;       // samples
  double sum = 0.0;     // sum of their values (end scores, or win chances) for the side to throw
  double sumsq = 0.0;   // sum of their squares
  double points = 0.0;  // sum of the end scores, whatever the samples are valued by
  double mean() const { return n == 0 ? 0.0 : sum / n; }
  double meanPoints() const { return n == 0 ? 0.0 : points / n; }
};

// One sample's outcome: its value to the search and the end's points (the
// expected points when a model valued the sample).
struct SampleValue {
  double value = 0.0;
  double points = 0.0;
};

// One search worker: it owns its engine, its scratch vector and its
// statistics. Nothing in it is shared with another worker.
class StrongWorker {
 public:
  StrongWorker(const StrongParameters& params, uint32_t seed);

  // Samples the candidates of root until deadline_ms have passed since
  // start (at least the initial samples of every candidate are not
  // guaranteed: time wins). Statistics accumulate across calls.
  void run(const CurlingGameState& root, const std::vector<CurlingMoveState>& candidates,
           std::chrono::steady_clock::time_point start, int64_t deadline_ms);
  // The same for exactly `samples` samples, whatever time they take.
  void run(const CurlingGameState& root, const std::vector<CurlingMoveState>& candidates,
           uint64_t samples);

  // One sample: throw move with fresh error (the engine advances), finish
  // the end by rollouts (or value the position by the model), return the
  // end score for the side to throw at root (its sign alone when that
  // decides the match, see play_for_the_win).
  SampleValue sample(const CurlingGameState& root, const CurlingMoveState& move);

  // Throws the rest of the end from s (the engine advances).
  void rollout(CurlingGameState& s);

  const std::vector<ArmStats>& stats() const { return stats_; }

 private:
  size_t choose() const;
  void prepare(size_t arms);
  void refine();
  void step(const CurlingGameState& root, const std::vector<CurlingMoveState>& candidates);
  void rolloutThrow(CurlingGameState& s);
  void lastStoneReply(CurlingGameState& s);

  StrongParameters params_;  // a copy: a worker may outlive the caller's settings
  uint32_t seed_;
  Kelp::DsfmtEngine engine_;
  std::vector<Tree> scratch_;
  std::vector<ArmStats> stats_;
  uint64_t total_ = 0;
  double valueSum_ = 0.0;  // over every sample of this worker, for the spread
  double valueSumSq_ = 0.0;
  size_t offset_ = 0;            // where this worker starts its initial samples
  size_t base_ = 0;              // the candidates among the arms (the rest are variants)
  std::vector<uint8_t> active_;  // per arm: sampled by the bandit
  uint32_t refined_ = 0;         // shots given variants in this decision
  uint64_t nextRefine_ = 0;      // total_ at which the next shot is refined
};

// The seed of worker k in a decision: distinct per worker, and different
// from one decision (and one process) to the next.
uint32_t workerSeed(uint32_t base, int worker);

// The base seed of a decision on state under a fixed seed: the seed and
// every member of the board that tells positions apart (stones, their state
// bits, throws left, ends left, score), hashed together. Two decisions on
// the same position with the same seed search alike, wherever in a game or
// a bench they come.
uint32_t decisionSeed(uint32_t seed, const CurlingGameState& state);

// The samples worker k of threads takes from a budget: an even split, the
// remainder to the first workers.
uint64_t workerSamples(uint64_t samples, int threads, int worker);

// Runs params.threads workers on root's candidates for params.time_limit ms
// (or params.samples samples between them) and returns their summed statistics, one entry per
// candidate, in order.
std::vector<ArmStats> strongSearch(const StrongParameters& params, const CurlingGameState& root,
                                   const std::vector<CurlingMoveState>& candidates, uint32_t base);

// The index of the most sampled candidate; among equally sampled ones the
// better mean, then the earliest.
size_t robustChoice(const std::vector<ArmStats>& stats);

// The player of kelp-strong's default search.
class StrongPlayer final : public BaseAI<ThinkResult> {
 public:
  explicit StrongPlayer(StrongParameters params);
  bool Init() override;
  // With a win table, the GO line's mean is the chosen shot's expected win
  // chance and its sum the shot's expected points of the end (by points:
  // the mean and the sum of the end scores).
  ThinkResult Think(CurlingGameState state) override;
  // Where the side to throw stands in the match for the next Think, read
  // from the game record by the GO handler. Without it, Think takes the
  // board's score difference as the lead of the side to throw.
  void setMatch(const MatchSituation& match) { nextMatch_ = match; }

  StrongParameters params;
  CurlingGameState game_state;  // the position last given to Think

 private:
  std::optional<MatchSituation> nextMatch_;
};
