#include "referee/resume.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace Kelp::Referee {
namespace {

// The game number of a folder named game-NNN (leading zeros allowed), or
// nothing for any other name.
std::optional<int> gameFolderNumber(const std::string& name) {
  constexpr std::string_view prefix = "game-";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return {};
  long long n = 0;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (c < '0' || c > '9') return {};
    n = n * 10 + (c - '0');
    if (n > 1'000'000'000) return {};
  }
  if (n < 1) return {};
  return static_cast<int>(n);
}

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int SETTINGS_VERSION = 1;

std::string settingsPath(const std::string& dir) {
  return dir + "/settings.json";
}
std::string journalPath(const std::string& dir) {
  return dir + "/games.jsonl";
}

int sideOf(const json& j) {
  if (j.is_null()) return -1;
  const std::string s = j.get<std::string>();
  if (s == "A") return SIDE_A;
  if (s == "B") return SIDE_B;
  throw std::invalid_argument("bad side " + s);
}

// A relative program path (one with a slash) is taken from the folder the
// series was started in, wherever it is continued from.
void anchorProgram(std::vector<std::string>& words, const std::string& startDir) {
  if (words.empty() || startDir.empty()) return;
  const fs::path program = words[0];
  if (program.is_absolute() || words[0].find('/') == std::string::npos) return;
  std::error_code ec;
  if (fs::equivalent(fs::current_path(ec), startDir, ec)) return;
  words[0] = (fs::path(startDir) / program).lexically_normal().string();
}

}  // namespace

json settingsJson(const SeriesConfig& c) {
  std::error_code ec;
  json sprt = nullptr;
  if (c.sprt) {
    sprt = {{"elo0", c.sprt->elo0},
            {"elo1", c.sprt->elo1},
            {"alpha", c.sprt->alpha},
            {"beta", c.sprt->beta}};
  }
  return {{"version", SETTINGS_VERSION},
          {"engine_a", c.match.commands[0]},
          {"engine_b", c.match.commands[1]},
          {"name_a", c.match.names[0]},
          {"name_b", c.match.names[1]},
          {"started_in", fs::current_path(ec).string()},
          {"out", c.match.outDir},
          {"games", c.games},
          {"concurrency", c.concurrency},
          {"seed", c.seed},
          {"ends", c.match.ends},
          {"timeout", c.match.timeout},
          {"ready_timeout", c.match.readyTimeout},
          {"throws", c.match.maxThrows},
          {"pictures", c.match.pictures},
          {"exit_grace", c.match.exitGrace},
          {"estimate_every", c.estimateEvery},
          {"sprt", sprt}};
}

std::optional<SeriesConfig> settingsFromJson(const json& s, std::string& why) {
  try {
    if (s.at("version").get<int>() != SETTINGS_VERSION) {
      why = "settings of an unknown version";
      return std::nullopt;
    }
    SeriesConfig c;
    const std::string startDir = s.at("started_in").get<std::string>();
    c.match.commands = {s.at("engine_a").get<std::vector<std::string>>(),
                        s.at("engine_b").get<std::vector<std::string>>()};
    for (auto& words : c.match.commands) {
      if (words.empty()) throw std::invalid_argument("an empty engine command");
      anchorProgram(words, startDir);
    }
    c.match.names = {s.at("name_a").get<std::string>(), s.at("name_b").get<std::string>()};
    c.match.outDir = s.at("out").get<std::string>();
    c.games = s.at("games").get<int>();
    c.concurrency = s.at("concurrency").get<int>();
    c.seed = s.at("seed").get<uint32_t>();
    c.match.ends = s.at("ends").get<int>();
    c.match.timeout = s.at("timeout").get<double>();
    c.match.readyTimeout = s.at("ready_timeout").get<double>();
    c.match.maxThrows = s.at("throws").get<int>();
    c.match.pictures = s.at("pictures").get<bool>();
    c.match.exitGrace = s.at("exit_grace").get<double>();
    c.estimateEvery = s.at("estimate_every").get<int>();
    if (!s.at("sprt").is_null()) {
      const json& t = s.at("sprt");
      c.sprt = SprtSettings{t.at("elo0").get<double>(), t.at("elo1").get<double>(),
                            t.at("alpha").get<double>(), t.at("beta").get<double>()};
      if (auto bad = sprtSettingsError(*c.sprt)) throw std::invalid_argument(*bad);
    }
    if (c.games < 1 || c.games > 100000 || c.concurrency < 1 || c.concurrency > 64 ||
        c.match.ends < 1 || c.match.ends > 16 || !(c.match.timeout > 0) ||
        !(c.match.readyTimeout > 0) || !(c.match.exitGrace >= 0)) {
      throw std::invalid_argument("a value out of range");
    }
    return c;
  } catch (const std::exception& e) {
    why = fmt::format("unusable settings: {}", e.what());
    return std::nullopt;
  }
}

std::optional<GameResult> gameFromJson(const json& j) {
  try {
    GameResult g;
    g.number = j.at("game").get<int>();
    g.seed = j.at("seed").get<uint32_t>();
    g.aFirst = j.at("a_first").get<bool>();
    for (const json& e : j.at("ends")) {
      g.ends.push_back({sideOf(e.at("side")), e.at("points").get<int>()});
    }
    g.total = {j.at("total_a").get<int>(), j.at("total_b").get<int>()};
    const std::string result = j.at("result").get<std::string>();
    g.result = result == "win" ? 1 : result == "loss" ? -1 : 0;
    if (result != "win" && result != "loss" && result != "draw") return std::nullopt;
    const json& f = j.at("forfeit");
    g.forfeit = f.is_null() ? FORFEIT_NONE : f == "both" ? FORFEIT_BOTH : sideOf(f);
    g.faults = {j.at("faults_a").get<int>(), j.at("faults_b").get<int>()};
    return g;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool startSeriesFolder(const SeriesConfig& config, std::string& why) {
  const std::string& dir = config.match.outDir;
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::ofstream settings(settingsPath(dir));
  settings << settingsJson(config).dump(2) << "\n";
  std::ofstream journal(journalPath(dir), std::ios::trunc);
  if (!settings.flush() || !journal.flush()) {
    why = "cannot write to " + dir;
    return false;
  }
  return true;
}

GameJournal::GameJournal(const std::string& seriesDir)
    : fd_(::open(journalPath(seriesDir).c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644)) {
  // A line cut by a crash ends where the next one would start: close it.
  char last = '\n';
  const off_t size = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_END) : 0;
  if (size > 0 && ::pread(fd_, &last, 1, size - 1) == 1 && last != '\n') {
    if (::write(fd_, "\n", 1) != 1) {
      ::close(fd_);
      fd_ = -1;
    }
  }
}

GameJournal::~GameJournal() {
  if (fd_ >= 0) ::close(fd_);
}

bool GameJournal::append(const GameResult& game) {
  if (fd_ < 0) return false;
  const std::string line = gameJson(game).dump() + "\n";
  const ssize_t n = ::write(fd_, line.data(), line.size());
  return n == static_cast<ssize_t>(line.size()) && ::fdatasync(fd_) == 0;
}

ResumedSeries resumeSeries(const std::string& dir) {
  ResumedSeries r;
  std::ifstream in(settingsPath(dir));
  if (!in) {
    r.error = fmt::format("{} holds no series to resume (no settings.json)", dir);
    return r;
  }
  const json settings = json::parse(in, nullptr, false);
  std::string why;
  auto config = settings.is_discarded() ? std::nullopt : settingsFromJson(settings, why);
  if (!config) {
    r.error = fmt::format("{}/settings.json: {}", dir, why.empty() ? "not JSON" : why);
    return r;
  }
  r.config = *config;
  // The series goes on where it is, wherever it was first written.
  r.config.match.outDir = dir;

  std::set<int> seen;
  std::ifstream journal(journalPath(dir));
  for (std::string line; std::getline(journal, line);) {
    const json j = json::parse(line, nullptr, false);
    auto g = j.is_discarded() ? std::nullopt : gameFromJson(j);
    // A cut line (the referee killed while writing it) is a game to play again.
    if (!g) continue;
    if (g->number < 1 || g->number > r.config.games ||
        g->seed != pairSeed(r.config.seed, g->number - 1) || !seen.insert(g->number).second) {
      r.error =
          fmt::format("{}/games.jsonl: game {} does not belong to this series", dir, g->number);
      return r;
    }
    r.played.push_back(*g);
  }

  // Folders of games that were running when the series stopped.
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::optional<int> number = gameFolderNumber(entry.path().filename().string());
    if (entry.is_directory() && number && !seen.contains(*number)) fs::remove_all(entry.path(), ec);
  }
  return r;
}

}  // namespace Kelp::Referee
