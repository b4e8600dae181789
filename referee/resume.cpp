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

std::string settingsPath(const std::string& dir) {
  return dir + "/" + SETTINGS_FILE;
}
std::string journalPath(const std::string& dir) {
  return dir + "/" + JOURNAL_FILE;
}

}  // namespace

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
