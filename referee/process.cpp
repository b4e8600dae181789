#include "referee/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wordexp.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

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
  std::vector<char*> argv;
  argv.push_back(program.data());
  std::vector<std::string> rest(words.begin() + 1, words.end());
  for (std::string& w : rest) argv.push_back(w.data());
  argv.push_back(nullptr);

  int inPipe[2];
  int outPipe[2];
  if (::pipe2(inPipe, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (::pipe2(outPipe, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    ::close(inPipe[0]);
    ::close(inPipe[1]);
    return false;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, log_, 2);
  posix_spawn_file_actions_addchdir_np(&fa, workDir.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The referee ignores SIGPIPE; the engine gets the default back.
  sigset_t def;
  sigemptyset(&def);
  sigaddset(&def, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &def);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
  const int rc = ::posix_spawnp(&pid_, program.c_str(), &fa, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  if (rc != 0) {
    pid_ = -1;
    error_ = "cannot start " + program + ": " + std::strerror(rc);
    ::close(inPipe[1]);
    ::close(outPipe[0]);
    return false;
  }
  in_ = inPipe[1];
  out_ = outPipe[0];
  lastData_ = Clock::now();
  ::fcntl(in_, F_SETFL, ::fcntl(in_, F_GETFL) | O_NONBLOCK);
  ::fcntl(out_, F_SETFL, ::fcntl(out_, F_GETFL) | O_NONBLOCK);
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
  if (!alive()) return false;
  pump();
  return outbox_.empty() && pipeEmpty();
}

std::string EngineProcess::errorText(const char* what, int err) {
  return std::string(what) + (err ? std::string(": ") + std::strerror(err) : std::string());
}

bool EngineProcess::readSome(Clock::time_point deadline) {
  if (out_ < 0 || outputClosed_) return false;
  pump();
  pollfd p{out_, POLLIN, 0};
  for (;;) {
    // While messages wait in the queue, look again soon: the engine may
    // empty the pipe at any moment.
    const int wait = outbox_.empty() ? msUntil(deadline) : std::min(msUntil(deadline), 1);
    const int n = ::poll(&p, 1, wait);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      pump();
      if (Clock::now() < deadline) continue;
      return true;
    }
    break;
  }
  char buf[65536];
  const ssize_t r = ::read(out_, buf, sizeof buf);
  if (r > 0) {
    writeAll(log_, buf, static_cast<std::size_t>(r));
    lastData_ = Clock::now();
    scanner_.feed(std::string_view(buf, static_cast<std::size_t>(r)), lastData_);
    return true;
  }
  if (r < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  outputClosed_ = true;
  return false;
}

void EngineProcess::closeInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

void EngineProcess::reap(std::chrono::milliseconds grace) {
  if (pid_ <= 0 || reaped_) return;
  const auto deadline = Clock::now() + grace;
  int status = 0;
  for (;;) {
    const pid_t w = ::waitpid(pid_, &status, WNOHANG);
    if (w == pid_ || (w < 0 && errno != EINTR)) break;
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      note("engine did not exit in time; killed");
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    if (!outputClosed_) {
      readSome(std::min(deadline, Clock::now() + std::chrono::milliseconds(5)));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  reaped_ = true;
  // Whatever the engine wrote last still belongs in its log.
  while (!outputClosed_ && out_ >= 0) {
    char buf[65536];
    const ssize_t r = ::read(out_, buf, sizeof buf);
    if (r <= 0) break;
    writeAll(log_, buf, static_cast<std::size_t>(r));
  }
  if (out_ >= 0) ::close(out_);
  out_ = -1;
  outputClosed_ = true;
}

void EngineProcess::finish(std::chrono::milliseconds grace) {
  const auto deadline = Clock::now() + grace;
  while (alive() && !delivered() && Clock::now() < deadline) {
    readSome(std::min(deadline, Clock::now() + std::chrono::milliseconds(5)));
  }
  if (!outbox_.empty()) note("input closed with messages undelivered");
  closeInput();
  reap(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                std::chrono::milliseconds(50)));
}

void EngineProcess::kill() {
  dead_ = true;
  closeInput();
  if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL);
  reap(std::chrono::milliseconds(1000));
}

void EngineProcess::note(const std::string& text) {
  const std::string line = "\n[referee] " + text + "\n";
  writeAll(log_, line.data(), line.size());
}

}  // namespace Kelp::Referee
