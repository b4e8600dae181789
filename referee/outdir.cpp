#include "referee/outdir.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;

// Whether the folder holds anything but a lock file.
bool holdsResults(const std::string& dir) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.path().filename() != LOCK_FILE) return true;
  }
  return static_cast<bool>(ec);
}

std::string holderOf(int fd) {
  char buf[32] = {};
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  std::string pid = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
  return pid.empty() ? std::string() : " (pid " + pid + ")";
}

}  // namespace

std::unique_ptr<OutputFolder> OutputFolder::claim(const std::string& dir, Mode mode,
                                                  std::string& why) {
  struct stat st {};
  const bool exists = ::stat(dir.c_str(), &st) == 0;
  if (exists && !S_ISDIR(st.st_mode)) {
    why = dir + " exists and is not a folder";
    return nullptr;
  }
  if (exists && mode == Mode::New && holdsResults(dir)) {
    why = dir + " exists and is not empty: results are never overwritten or mixed";
    return nullptr;
  }
  if (!exists && mode == Mode::Resume) {
    why = dir + " does not exist: nothing to resume";
    return nullptr;
  }
  if (!exists) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
      why = "cannot create " + dir + ": " + ec.message();
      return nullptr;
    }
  }
  const std::string lock = dir + "/" + LOCK_FILE;
  // The lock file may be unlinked by a holder that is just finishing; then
  // the lock we got is on a file nobody else will see, and we try again.
  for (int attempt = 0; attempt < 10; ++attempt) {
    bool created = true;
    int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
      created = false;
      fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    }
    if (fd < 0) {
      if (errno == ENOENT) continue;
      why = fmt::format("cannot lock {}: {}", dir, std::strerror(errno));
      return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      why = dir + " is in use by another referee" + holderOf(fd);
      ::close(fd);
      return nullptr;
    }
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) != 0 || ::stat(lock.c_str(), &named) != 0 ||
        held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
      ::close(fd);
      continue;
    }
    if (mode == Mode::New && holdsResults(dir)) {
      // Another referee filled it between our look and our lock.
      if (created) ::unlink(lock.c_str());
      ::close(fd);
      why = dir + " exists and is not empty: results are never overwritten or mixed";
      return nullptr;
    }
    const std::string pid = fmt::format("{}\n", ::getpid());
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
      // The lock holds without the note of who holds it.
    }
    return std::unique_ptr<OutputFolder>(new OutputFolder(dir, fd));
  }
  why = "cannot lock " + dir + ": its lock file keeps changing";
  return nullptr;
}

std::unique_ptr<OutputFolder> OutputFolder::claimFresh(const std::string& base, std::string& why) {
  std::error_code ec;
  const fs::path parent = fs::path(base).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  for (int n = 1; n < 1000; ++n) {
    const std::string dir = n == 1 ? base : fmt::format("{}-{}", base, n);
    if (::mkdir(dir.c_str(), 0755) == 0) return claim(dir, Mode::New, why);
    if (errno != EEXIST) {
      why = fmt::format("cannot create {}: {}", dir, std::strerror(errno));
      return nullptr;
    }
  }
  why = "no free folder name for " + base;
  return nullptr;
}

OutputFolder::~OutputFolder() {
  // Unlinked while still locked: whoever opened the old file finds, once
  // it gets the lock, that the name no longer leads to it.
  ::unlink((dir_ + "/" + LOCK_FILE).c_str());
  ::close(lockFd_);
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string tmp = path + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const ssize_t w = ::write(fd, bytes.data(), bytes.size());
    if (w < 0 && errno == EINTR) continue;
    ok = w > 0;
    if (ok) bytes.remove_prefix(static_cast<std::size_t>(w));
  }
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace Kelp::Referee
