// kelp-datagen: training data for the learned value. It plays whole ends
// with kelp-strong's search at a small budget and writes, for the position
// before every throw, the features the model reads and the score the end
// then had for the side to throw. End k is played from a seed derived from
// --seed + k alone, so shards made from disjoint seed ranges concatenate to
// the data of one long run, whatever the threads.
//
// Every end is the first of a four-end match, level: kelp-strong's match
// value then plays close to points, as in most of a match.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "driver/engine_options.h"
#include "driver/npy.h"
#include "driver/program_options.h"
#include "kelpsimulator/check.h"
#include "kelpsimulator/random.h"
#include "kelpsimulator/trajectory.h"
#include "player/curling.h"
#include "player/value_features.h"

namespace {

constexpr int USAGE = 2;
constexpr int FAILED = 1;
constexpr int THROWS = Kelp::TURN_FIRST;  // positions per end
constexpr int ENDS_AFTER = 3;             // the first end of four
constexpr uint64_t MAX_ENDS = 100'000'000;
// Ends played between two writes: enough to keep every thread busy.
constexpr uint64_t BATCH_PER_THREAD = 32;

struct EndData {
  std::array<std::array<float, VALUE_FEATURES>, THROWS> features;
  std::array<int8_t, THROWS> score;
  std::array<uint8_t, THROWS> throws;
  std::array<uint8_t, THROWS> hammer;
};

// A 32-bit seed from a 64-bit one, far apart for neighbouring inputs.
uint32_t mix(uint64_t z) {
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>(z ^ (z >> 31));
}

// One end from the seed: the search decides every throw, which is thrown
// with its execution error from the end's own engine.
void playEnd(Kelp::EngineOptions options, uint64_t seed, EndData& out) {
  options.seed = mix(2 * seed);
  const auto player = Kelp::makeEnginePlayer(options);
  Kelp::DsfmtEngine engine(mix(2 * seed + 1));
  CurlingGameState s;
  s.ends_left = ENDS_AFTER;
  player->Init();
  for (int i = 0; i < THROWS; ++i) {
    KELP_CHECK(s.getTurn() == Kelp::TURN_FIRST - i);
    valueFeatures(s, out.features[i].data());
    out.throws[i] = static_cast<uint8_t>(i);
    out.hammer[i] = s.getTurn() % 2 == Kelp::WHITE ? 1 : 0;
    Kelp::ShotVector shot = std::get<0>(player->Think(s)).move_state.shot();
    shot.vy = -shot.vy;  // the record frame of the reply back to the board frame
    s.executeShot(shot, engine);
    s.checkTurn();
  }
  KELP_CHECK(s.IsFinalState());
  const int black = s.countScore();
  for (int i = 0; i < THROWS; ++i) {
    const int own = i % 2 == 0 ? black : -black;  // BLACK throws the even throws
    out.score[i] = static_cast<int8_t>(std::clamp(own, -VALUE_MAX_SCORE, VALUE_MAX_SCORE));
  }
}

bool emptyOrAbsent(const std::filesystem::path& dir, std::string* why) {
  std::error_code ec;
  if (!std::filesystem::exists(dir, ec)) return true;
  if (!std::filesystem::is_directory(dir, ec)) {
    *why = dir.string() + " exists and is not a directory";
    return false;
  }
  if (!std::filesystem::is_empty(dir, ec) || ec) {
    *why = dir.string() + " is not empty: the data there is not overwritten";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = 0;
  uint64_t ends = 0;
  uint64_t samples = 32;
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::string out;
  Kelp::EngineOptions options;
  options.search = "strong";
  options.threads = 1;  // one search thread per end; the ends run side by side

  CLI::App app{
      "kelp-datagen: ends played by kelp-strong's search, as training data for the value model"};
  app.add_option("--seed", seed, "end k of the run is played from seed + k")->capture_default_str();
  app.add_option("--ends", ends, "ends to play (16 positions each)")
      ->required()
      ->check(CLI::Range(uint64_t{1}, MAX_ENDS));
  app.add_option("--samples", samples, "the search's samples per throw")
      ->check(CLI::Range(uint64_t{1}, uint64_t{1'000'000}))
      ->capture_default_str();
  app.add_option("--threads", threads, "ends played side by side (default: the machine's cores)")
      ->check(CLI::Range(1, 256));
  app.add_option("--out", out, "the directory of the data; it must be absent or empty")->required();
  Kelp::addModelOptions(
      app, options,
      {"value model file of the search, or 'built-in' (default: none, rollouts)",
       "the search's rollouts only", "rollout throws before the model values a sample",
       "samples whose shot leaves at most this many throws are rolled out, not valued by the "
       "model"});
  if (const std::optional<int> exit =
          Kelp::parseCommandLine(app, argc, argv, "kelp-datagen", USAGE))
    return *exit;
  if (seed > UINT64_MAX - ends) {
    std::cerr << "kelp-datagen: --seed + --ends overflows\n";
    return USAGE;
  }

  options.samples = samples;
  std::string problem;
  const std::optional<const ValueModel*> model = Kelp::engineModel(options, &problem);
  if (!model) {
    std::cerr << "kelp-datagen: " << problem << "\n";
    return USAGE;
  }
  const std::filesystem::path dir(out);
  if (!emptyOrAbsent(dir, &problem)) {
    std::cerr << "kelp-datagen: " << problem << "\n";
    return USAGE;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::cerr << "kelp-datagen: cannot create " << dir.string() << ": " << ec.message() << "\n";
    return FAILED;
  }

  const uint64_t n = ends * THROWS;
  Kelp::NpyWriter features, score, throwsMade, hammer;
  const bool opened =
      features.open((dir / "features.npy").string(), "<f4", {n, VALUE_FEATURES}, 4, &problem) &&
      score.open((dir / "score.npy").string(), "|i1", {n}, 1, &problem) &&
      throwsMade.open((dir / "throws.npy").string(), "|u1", {n}, 1, &problem) &&
      hammer.open((dir / "hammer.npy").string(), "|u1", {n}, 1, &problem);
  if (!opened) {
    std::cerr << "kelp-datagen: " << problem << "\n";
    return FAILED;
  }

  Kelp::buildTables();
  const auto start = std::chrono::steady_clock::now();
  const uint64_t batch = BATCH_PER_THREAD * static_cast<uint64_t>(threads);
  std::vector<EndData> done(static_cast<size_t>(std::min(batch, ends)));
  for (uint64_t first = 0; first < ends; first += batch) {
    const uint64_t count = std::min(batch, ends - first);
    std::atomic<uint64_t> next{0};
    auto work = [&] {
      for (uint64_t k; (k = next.fetch_add(1)) < count;) {
        playEnd(options, seed + first + k, done[k]);
      }
    };
    {
      std::vector<std::jthread> running;
      for (int t = 1; t < threads; ++t) running.emplace_back(work);
      work();
    }
    // In end order, whatever thread played which end.
    bool ok = true;
    for (uint64_t k = 0; k < count; ++k) {
      const EndData& e = done[k];
      ok = ok && features.write(e.features.data(), THROWS * VALUE_FEATURES) &&
           score.write(e.score.data(), THROWS) && throwsMade.write(e.throws.data(), THROWS) &&
           hammer.write(e.hammer.data(), THROWS);
    }
    if (!ok) break;  // close() says why
  }
  for (Kelp::NpyWriter* w : {&features, &score, &throwsMade, &hammer}) {
    if (!w->close(&problem)) {
      std::cerr << "kelp-datagen: " << problem << "\n";
      return FAILED;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  nlohmann::json args = nlohmann::json::array();
  for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
  const nlohmann::json meta = {
      {"program", "kelp-datagen"},
      {"version", KELP_VERSION},
      {"command", args},
      {"seed_first", seed},
      {"seed_last", seed + ends - 1},
      {"ends", ends},
      {"positions", n},
      {"samples", samples},
      {"model", *model == nullptr ? "none" : options.modelFile},
      {"model_rollout_throws", options.modelRolloutThrows},
      {"rollout_last", options.rolloutLast},
      {"situation", "the first end of a four-end match, level; BLACK throws first"},
      {"threads", threads},
      {"seconds", seconds},
  };
  // Written last: a directory without it is not finished.
  std::ofstream metaFile(dir / "meta.json");
  metaFile << meta.dump(2) << "\n";
  metaFile.close();
  if (!metaFile) {
    std::cerr << "kelp-datagen: cannot write " << (dir / "meta.json").string() << "\n";
    return FAILED;
  }
  std::cerr << "kelp-datagen: " << n << " positions from " << ends << " ends in " << seconds
            << " s (" << static_cast<double>(n) / seconds << " positions/s)\n";
  return 0;
}
