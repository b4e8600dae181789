#include "driver/gamelog.h"

#include <fmt/core.h>
#include <fmt/format.h>
#include <fmt/os.h>

#include <cerrno>
#include <cstring>

namespace Kelp {

std::FILE* ShotLogFile = nullptr;

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (f == nullptr) {
    throw fmt::system_error(errno, "cannot open file '{}'", path.string());
  }
  return f;
}

std::string logTimeStamp(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "%d-%d-%d-%d-%d", local.tm_year + 1900, local.tm_mon,
                local.tm_mday, local.tm_hour, local.tm_min);
  return buffer;
}

std::filesystem::path gameLogDirectory(const std::string& name, std::time_t now) {
  return std::filesystem::current_path() / (name + "_log") / logTimeStamp(now);
}

void OpenGameLog(const std::string& name) {
  const std::filesystem::path dir = gameLogDirectory(name, std::time(nullptr));
  if (std::filesystem::exists(dir)) return;
  std::filesystem::create_directories(dir);
  std::FILE* f = OpenFile(dir / "shot.txt", "w+");
  // A game that was never closed leaves its handle behind: close it rather
  // than leak it.
  if (ShotLogFile != nullptr) CloseGameLog();
  ShotLogFile = f;
}

bool CloseGameLog() {
  if (ShotLogFile == nullptr) return false;
  errno = 0;
  const int rc = std::fclose(ShotLogFile);
  ShotLogFile = nullptr;
  if (rc != 0) fmt::print(stderr, "err close {}", std::strerror(errno));
  return true;
}

}  // namespace Kelp
