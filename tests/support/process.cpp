#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace KelpTest {
namespace {

using Clock = std::chrono::steady_clock;

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

ChildProcess::ChildProcess(const std::string& executable, const std::vector<std::string>& args,
                           const std::string& working_dir) {
  // A child that has died must not take the test down with SIGPIPE on send.
  ::signal(SIGPIPE, SIG_IGN);

  int in[2], out[2], err[2], report[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
      ::pipe2(report, O_CLOEXEC) != 0)
    fail("pipe2");

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) fail("fork");
  if (pid_ == 0) {
    // Only async-signal-safe calls from here to exec.
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::dup2(in[0], 0) < 0 || ::dup2(out[1], 1) < 0 || ::dup2(err[1], 2) < 0 ||
        (!working_dir.empty() && ::chdir(working_dir.c_str()) != 0)) {
      const int e = errno;
      (void)!::write(report[1], &e, sizeof e);
      ::_exit(127);
    }
    ::execv(executable.c_str(), argv.data());
    const int e = errno;
    (void)!::write(report[1], &e, sizeof e);
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::close(report[1]);
  in_fd_ = in[1];
  out_fd_ = out[0];
  err_fd_ = err[0];

  // The report pipe closes on a successful exec; otherwise it carries errno.
  int child_errno = 0;
  ssize_t n;
  do n = ::read(report[0], &child_errno, sizeof child_errno);
  while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n > 0) {
    reap(true);
    errno = child_errno;
    fail("cannot start " + executable);
  }
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));  // -1: fall back to timed polls
}

ChildProcess::~ChildProcess() {
  if (!status_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    reap(true);
  }
  closeFd(in_fd_);
  closeFd(out_fd_);
  closeFd(err_fd_);
  closeFd(pidfd_);
}

bool ChildProcess::send(std::string_view bytes) {
  if (in_fd_ < 0) return false;
  ssize_t n;
  do n = ::write(in_fd_, bytes.data(), bytes.size());
  while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(bytes.size());
}

void ChildProcess::closeStdin() {
  closeFd(in_fd_);
}

void ChildProcess::closeStdout() {
  closeFd(out_fd_);
  out_eof_ = true;
}

bool ChildProcess::reap(bool block) {
  if (status_) return true;
  int st = 0;
  pid_t r;
  do r = ::waitpid(pid_, &st, block ? 0 : WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  ExitStatus s;
  if (WIFEXITED(st)) {
    s.exited = true;
    s.code = WEXITSTATUS(st);
  } else if (WIFSIGNALED(st)) {
    s.signaled = true;
    s.signal = WTERMSIG(st);
  }
  status_ = s;
  return true;
}

bool ChildProcess::pump(Clock::time_point deadline, bool watch_exit) {
  const auto now = Clock::now();
  if (now >= deadline) return false;
  auto wait_ms = std::chrono::ceil<milliseconds>(deadline - now).count();
  pollfd fds[3];
  nfds_t count = 0;
  if (out_fd_ >= 0 && !out_eof_) fds[count++] = {out_fd_, POLLIN, 0};
  if (err_fd_ >= 0) fds[count++] = {err_fd_, POLLIN, 0};
  if (watch_exit && !status_) {
    if (pidfd_ >= 0)
      fds[count++] = {pidfd_, POLLIN, 0};
    else if (wait_ms > 10)
      wait_ms = 10;  // no pidfd: look at the child again every 10 ms
  }
  if (count == 0 && !(watch_exit && !status_)) {
    // Nothing left to wait for but the deadline.
    std::this_thread::sleep_until(deadline);
    return false;
  }
  const int r = ::poll(fds, count, static_cast<int>(wait_ms));
  if (r < 0 && errno != EINTR) fail("poll");
  for (nfds_t i = 0; i < count && r > 0; ++i) {
    if (fds[i].revents == 0) continue;
    if (fds[i].fd == pidfd_) {
      reap(true);
      continue;
    }
    char buf[4096];
    const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    const bool is_out = fds[i].fd == out_fd_;
    if (n <= 0) {
      if (is_out)
        out_eof_ = true;
      else
        closeFd(err_fd_);
    } else {
      (is_out ? out_ : err_).append(buf, static_cast<std::size_t>(n));
    }
  }
  if (watch_exit && pidfd_ < 0) reap(false);
  return true;
}

std::optional<std::string> ChildProcess::readExactly(std::size_t n, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (out_.size() < n) {
    if (out_eof_ || !pump(deadline, false)) return std::nullopt;
  }
  std::string head = out_.substr(0, n);
  out_.erase(0, n);
  return head;
}

std::optional<std::string> ChildProcess::readUntil(std::string_view text, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t at = out_.find(text);
    if (at != std::string::npos) {
      std::string head = out_.substr(0, at + text.size());
      out_.erase(0, at + text.size());
      return head;
    }
    if (out_eof_ || !pump(deadline, false)) return std::nullopt;
  }
}

std::optional<std::string> ChildProcess::readAll(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!out_eof_) {
    if (!pump(deadline, false)) return std::nullopt;
  }
  std::string all;
  all.swap(out_);
  return all;
}

std::string ChildProcess::readAvailable(milliseconds quiet) {
  const auto deadline = Clock::now() + quiet;
  while (!out_eof_ && pump(deadline, false)) {
  }
  std::string all;
  all.swap(out_);
  return all;
}

std::optional<ExitStatus> ChildProcess::wait(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!status_) {
    if (!pump(deadline, true)) break;
  }
  if (!status_) reap(false);
  return status_;
}

}  // namespace KelpTest
