#include "referee/process.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wordexp.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

#include "referee/spawn.h"
#include "referee/stop.h"

namespace Kelp::Referee {
namespace {

int msUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 1000 ? 1000 : static_cast<int>(left.count());
}

void writeAll(int fd, const char* data, std::size_t n) {
  while (n > 0 && fd >= 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    data += w;
    n -= static_cast<std::size_t>(w);
  }
}

}  // namespace

std::optional<std::vector<std::string>> splitCommand(const std::string& command) {
  wordexp_t we;
  if (::wordexp(command.c_str(), &we, WRDE_NOCMD) != 0) return std::nullopt;
  std::vector<std::string> words(we.we_wordv, we.we_wordv + we.we_wordc);
  ::wordfree(&we);
  if (words.empty()) return std::nullopt;
  return words;
}

EngineProcess::~EngineProcess() {
  if (pid_ > 0 && !reaped_) kill();
  flushLog();
  if (log_ >= 0) ::close(log_);
}

bool EngineProcess::start(const std::vector<std::string>& words, const std::string& workDir,
                          const std::string& logPath) {
  // A write to an engine that has exited must fail with EPIPE rather than
  // stop the whole referee, whoever drives the engine.
  std::signal(SIGPIPE, SIG_IGN);
  std::error_code ec;
  std::filesystem::create_directories(workDir, ec);
  if (ec) {
    error_ = "cannot create " + workDir + ": " + ec.message();
    return false;
  }
  log_ = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log_ < 0) {
    error_ = "cannot open " + logPath + ": " + std::strerror(errno);
    return false;
  }
  std::string program = words.at(0);
  if (program.find('/') != std::string::npos) {
    // The engine runs in its own directory, so a relative path must be
    // resolved against ours first.
    program = std::filesystem::absolute(program, ec).string();
  }
  std::vector<std::string> argv = words;
  argv[0] = program;
  // Its own process group lets the referee end the engine with everything
  // it started, and keeps a terminal's Ctrl-C for the referee, which ends
  // engines in order.
  SpawnOptions options;
  options.workDir = workDir;
  options.ownProcessGroup = true;
  const std::optional<Spawned> child = spawnProcess(argv, options, error_);
  if (!child) return false;
  pid_ = child->pid;
  registerEngineGroup(pid_);
  in_ = child->in;
  out_ = child->out;
  err_ = child->err;
  for (int fd : {in_, out_, err_}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  return true;
}

void EngineProcess::queue(std::string message) {
  if (!alive()) return;
  outbox_.push_back(std::move(message));
  pump();
}

bool EngineProcess::pipeEmpty() {
  int queued = 0;
  return in_ >= 0 && ::ioctl(in_, FIONREAD, &queued) == 0 && queued == 0;
}

void EngineProcess::pump() {
  if (outbox_.empty() || !alive() || !pipeEmpty()) return;
  // What the engine printed since the last message goes to the log first.
  flushLog();
  const std::string& message = outbox_.front();
  ssize_t w;
  do {
    w = ::write(in_, message.data(), message.size());
  } while (w < 0 && errno == EINTR);
  if (w != static_cast<ssize_t>(message.size())) {
    // EPIPE: the engine closed its input or exited. A short write cannot
    // happen on an empty pipe with messages this small.
    note(errorText("write failed", w < 0 ? errno : 0));
    kill();
    return;
  }
  outbox_.pop_front();
}

bool EngineProcess::delivered() {
  // Also after the engine's exit: whether it read everything before it went.
  pump();
  return outbox_.empty() && pipeEmpty();
}

std::string EngineProcess::errorText(const char* what, int err) {
  return std::string(what) + (err ? std::string(": ") + std::strerror(err) : std::string());
}

void EngineProcess::keep(const char* data, std::size_t n) {
  // Keeps the newest OUTPUT_KEPT bytes; trimming only past twice that keeps
  // the cost of trimming proportional to the bytes read.
  kept_.append(data, n);
  if (kept_.size() > 2 * OUTPUT_KEPT) {
    const std::size_t drop = kept_.size() - OUTPUT_KEPT;
    kept_.erase(0, drop);
    dropped_ += drop;
  }
}

void EngineProcess::flushLog() {
  if (kept_.size() > OUTPUT_KEPT) {
    dropped_ += kept_.size() - OUTPUT_KEPT;
    kept_.erase(0, kept_.size() - OUTPUT_KEPT);
  }
  std::string notes;
  if (dropped_ > 0) {
    notes += fmt::format(
        "\n[referee] {} bytes of engine output dropped here (only the last {} "
        "before each message are kept)\n",
        dropped_, OUTPUT_KEPT);
  }
  writeAll(log_, notes.data(), notes.size());
  writeAll(log_, kept_.data(), kept_.size());
  const std::size_t unasked = unasked_ + scanner_.overflow();
  if (unasked > 0) {
    const std::string line = fmt::format(
        "\n[referee] {} unasked repl{} dropped{}\n", unasked, unasked == 1 ? "y" : "ies",
        firstUnasked_.empty() ? std::string() : ", the first: " + firstUnasked_);
    writeAll(log_, line.data(), line.size());
  }
  kept_.clear();
  dropped_ = unasked_ = scanner_.overflow() = 0;
  firstUnasked_.clear();
}

void EngineProcess::dropUnasked(const Reply& reply) {
  if (unasked_++ == 0) firstUnasked_ = reply.text;
}

bool EngineProcess::leaderExited() {
  if (exited_ || pid_ <= 0) return exited_;
  // WNOWAIT: the engine stays a zombie, so its group id cannot be reused
  // before the group is ended.
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
      info.si_pid == pid_) {
    exited_ = true;
  }
  return exited_;
}

// One read from a pipe of the engine. False when nothing more will come.
bool EngineProcess::readFrom(int& fd, bool scanned) {
  if (fd < 0) return false;
  char buf[65536];
  const ssize_t r = ::read(fd, buf, sizeof buf);
  if (r > 0) {
    keep(buf, static_cast<std::size_t>(r));
    if (scanned) {
      int left = 0;
      const bool drained = static_cast<std::size_t>(r) < sizeof buf ||
                           (::ioctl(fd, FIONREAD, &left) == 0 && left == 0);
      scanner_.feed(std::string_view(buf, static_cast<std::size_t>(r)), drained, Clock::now());
    }
    return true;
  }
  if (r < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  ::close(fd);
  fd = -1;
  if (scanned) {
    outputClosed_ = true;
    scanner_.close(Clock::now());
  }
  return false;
}

void EngineProcess::readPresent() {
  for (int* fd : {&out_, &err_}) {
    int present = 0;
    if (*fd < 0 || ::ioctl(*fd, FIONREAD, &present) != 0) continue;
    // Reads of at most what was there at the start: an engine that keeps
    // writing cannot hold the referee here.
    for (int reads = (present + 65535) / 65536; reads > 0 && *fd >= 0; --reads) {
      if (!readFrom(*fd, fd == &out_)) break;
    }
  }
}

bool EngineProcess::readSome(Clock::time_point deadline) {
  if (out_ < 0 || outputClosed_) return false;
  pump();
  for (;;) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    // While messages wait in the queue, look again soon: the engine may
    // empty the pipe at any moment. The engine's exit is looked for at
    // least every few milliseconds, since a descendant may hold its pipes.
    const int wait = std::min(msUntil(deadline), outbox_.empty() ? 5 : 1);
    const int n = ::poll(p, err_ >= 0 ? 2 : 1, wait);
    if (n < 0 && errno != EINTR) return true;
    if (n > 0 && p[1].revents) readFrom(err_, false);
    if (n > 0 && p[0].revents) {
      if (!readFrom(out_, true)) return false;
    }
    if (leaderExited() && !dead_) {
      // Whatever it wrote before exiting still counts; then its group ends.
      readPresent();
      scanner_.close(Clock::now());
      dead_ = true;
      endGroup(std::chrono::milliseconds(0));
      return false;
    }
    if (n > 0 && p[0].revents) return true;
    pump();
    if (Clock::now() >= deadline) return true;
  }
}

void EngineProcess::closeInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

void EngineProcess::endGroup(std::chrono::milliseconds grace) {
  if (pid_ <= 0 || reaped_) return;
  if (!leaderExited()) {
    ::kill(-pid_, SIGTERM);
    const auto deadline = Clock::now() + grace;
    while (!leaderExited() && Clock::now() < deadline) {
      readPresent();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!leaderExited()) note("engine did not end on SIGTERM; killed");
  }
  // Descendants too: the group outlives the engine's own process. While
  // that process is unreaped its id cannot name another group.
  ::kill(-pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  reaped_ = true;
  unregisterEngineGroup(pid_);
  // Whatever the engine wrote last still belongs in its log.
  readPresent();
  for (int* fd : {&out_, &err_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  outputClosed_ = true;
  flushLog();
}

void EngineProcess::finish(std::chrono::milliseconds grace) {
  const auto deadline = Clock::now() + grace;
  while (alive() && !delivered() && Clock::now() < deadline) {
    readSome(std::min(deadline, Clock::now() + std::chrono::milliseconds(5)));
  }
  if (!outbox_.empty()) note("input closed with messages undelivered");
  closeInput();
  const auto exitBy = std::max(deadline, Clock::now() + std::chrono::milliseconds(50));
  while (pid_ > 0 && !reaped_ && !leaderExited() && Clock::now() < exitBy) {
    if (out_ >= 0 && !outputClosed_) {
      readSome(std::min(exitBy, Clock::now() + std::chrono::milliseconds(5)));
    } else {
      readPresent();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  endGroup(KILL_GRACE);
}

void EngineProcess::kill() {
  dead_ = true;
  closeInput();
  endGroup(KILL_GRACE);
}

void EngineProcess::note(const std::string& text) {
  flushLog();
  const std::string line = "\n[referee] " + text + "\n";
  writeAll(log_, line.data(), line.size());
}

}  // namespace Kelp::Referee
