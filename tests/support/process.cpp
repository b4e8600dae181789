#include "support/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "referee/spawn.h"
#include "support/tempdir.h"
#include "support/text.h"

namespace KelpTest {
namespace {

using Clock = std::chrono::steady_clock;

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& executable, const std::vector<std::string>& args,
                           const std::string& working_dir) {
  // A child that has died must not take the test down with SIGPIPE on send.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> argv = {executable};
  argv.insert(argv.end(), args.begin(), args.end());
  Kelp::Referee::SpawnOptions options;
  options.workDir = working_dir;
  std::string error;
  const auto child = Kelp::Referee::spawnProcess(argv, options, error);
  if (!child) throw std::runtime_error(error);
  pid_ = child->pid;
  in_fd_ = child->in;
  out_fd_ = child->out;
  err_fd_ = child->err;
}

ChildProcess::~ChildProcess() {
  if (!status_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    reap(true);
  }
  for (int* fd : {&in_fd_, &out_fd_, &err_fd_}) closeFd(*fd);
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
  rusage use{};
  pid_t r;
  do r = ::wait4(pid_, &st, block ? 0 : WNOHANG, &use);
  while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  const bool exited = WIFEXITED(st), signaled = WIFSIGNALED(st);
  status_ = ExitStatus{exited, exited ? WEXITSTATUS(st) : -1, signaled, signaled ? WTERMSIG(st) : 0,
                       use.ru_maxrss};
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
  // The child's end is looked for every 10 ms.
  if (watch_exit && !status_ && wait_ms > 10) wait_ms = 10;
  // With nothing to watch, this only waits out the deadline.
  const int r = ::poll(fds, count, static_cast<int>(wait_ms));
  if (r < 0 && errno != EINTR)
    throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
  for (nfds_t i = 0; i < count && r > 0; ++i) {
    if (fds[i].revents == 0) continue;
    char buf[4096];
    const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
    const bool is_out = fds[i].fd == out_fd_;
    if (n > 0)
      (is_out ? out_ : err_).append(buf, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR)
      is_out ? void(out_eof_ = true) : closeFd(err_fd_);
  }
  if (watch_exit) reap(false);
  return true;
}

std::optional<std::string> ChildProcess::readWhen(
    milliseconds timeout, const std::function<std::size_t(bool eof)>& ready) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t n = ready(out_eof_);
    if (n != std::string::npos) return std::exchange(out_, out_.substr(n)).substr(0, n);
    if (out_eof_ || !pump(deadline, false)) return std::nullopt;
  }
}

std::optional<std::string> ChildProcess::readExactly(std::size_t n, milliseconds timeout) {
  return readWhen(timeout, [&](bool) { return out_.size() >= n ? n : std::string::npos; });
}

std::optional<std::string> ChildProcess::readUntil(std::string_view text, milliseconds timeout) {
  return readWhen(timeout, [&](bool) {
    const std::size_t at = out_.find(text);
    return at == std::string::npos ? at : at + text.size();
  });
}

std::optional<std::string> ChildProcess::readAll(milliseconds timeout) {
  return readWhen(timeout, [&](bool eof) { return eof ? out_.size() : std::string::npos; });
}

std::string ChildProcess::readAvailable(milliseconds quiet) {
  // Unless the output ended in time, whatever came.
  return readAll(quiet).value_or(std::exchange(out_, {}));
}

std::optional<ExitStatus> ChildProcess::wait(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!status_ && pump(deadline, true)) continue;
  if (!status_) reap(false);
  // What it wrote to standard error just before it ended is still in the pipe.
  while (status_ && err_fd_ >= 0 && pump(Clock::now() + milliseconds(100), false)) continue;
  return status_;
}

void sendEach(ChildProcess& p, const std::string& messages) {
  for (const std::string& m : split(messages, '\0')) ASSERT_TRUE(p.send(m + '\0'));
}

void exchange(ChildProcess& p, const std::string& message, const std::string& expected,
              milliseconds timeout) {
  ASSERT_TRUE(p.send(message));
  EXPECT_EQ(p.readExactly(expected.size(), timeout), expected) << message;
}

std::string expectCleanEnd(ChildProcess& p, milliseconds timeout, const std::string& err) {
  p.closeStdin();
  // Read to the end first: a loop that kept reading after the end of its
  // input would never close its output.
  const std::string out = p.readAll(timeout).value_or("(no end of output)");
  const auto status = p.wait(timeout);
  EXPECT_TRUE(status && status->exited && status->code == 0);
  EXPECT_EQ(p.stderrText(), err);
  return out;
}

Outcome runToEnd(const std::string& program, const std::vector<std::string>& args,
                 milliseconds timeout) {
  ChildProcess p(program, args);
  Outcome r;
  r.out = p.readAll(timeout).value_or("(no end of output)");
  const auto s = p.wait(timeout);
  r.status = s && s->exited ? s->code : -1;
  r.out += p.stderrText();
  return r;
}

bool running(pid_t pid) {
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t paren = stat.rfind(')');  // the state follows the name
  return paren != std::string::npos && stat.size() > paren + 2 && stat[paren + 2] != 'Z';
}

std::vector<pid_t> pidsIn(const std::string& file) {
  std::ifstream in(file);
  std::vector<pid_t> pids;
  for (pid_t pid; in >> pid;) pids.push_back(pid);
  return pids;
}

}  // namespace KelpTest
