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
  // single point is worth as much as a risky three.
  bool play_for_the_win = true;
};

// Per-candidate statistics of one worker; summed over the workers.
struct ArmStats {
  uint32_t n = 0;      // samples
  double sum = 0.0;    // sum of end scores for the side to throw at the root
  double sumsq = 0.0;  // sum of their squares
  double mean() const { return n == 0 ? 0.0 : sum / n; }
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
  // the end by rollouts, return the end score for the side to throw at root
  // (its sign alone when that decides the match, see play_for_the_win).
  int sample(const CurlingGameState& root, const CurlingMoveState& move);

  // Throws the rest of the end from s (the engine advances).
  void rollout(CurlingGameState& s);

  const std::vector<ArmStats>& stats() const { return stats_; }

 private:
  size_t choose() const;
  void prepare(size_t candidates);
  void step(const CurlingGameState& root, const std::vector<CurlingMoveState>& candidates);
  void rolloutThrow(CurlingGameState& s);

  StrongParameters params_;  // a copy: a worker may outlive the caller's settings
  Kelp::DsfmtEngine engine_;
  std::vector<Tree> scratch_;
  std::vector<ArmStats> stats_;
  uint64_t total_ = 0;
  size_t offset_ = 0;  // where this worker starts its initial samples
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
  ThinkResult Think(CurlingGameState state) override;

  StrongParameters params;
  CurlingGameState game_state;  // the position last given to Think
};
