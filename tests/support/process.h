// A child process on three pipes, for tests that drive a built executable the
// way a match server does: one write(2) per message, output read with a
// deadline, end of input by closing the pipe, exit status with a deadline.
// No call blocks past its timeout; nothing busy-waits.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace KelpTest {

using std::chrono::milliseconds;

struct ExitStatus {
  bool exited = false;  // normal exit; `code` is valid
  int code = -1;
  bool signaled = false;  // killed by a signal; `signal` is valid
  int signal = 0;
  long peakKb = 0;  // the child's peak resident set (kernel high-water mark)
};

class ChildProcess {
 public:
  // Starts `executable` with `args` (argv[1..]) in `working_dir` (the
  // current directory when empty). The child starts with SIGPIPE at its
  // default action, whatever the test process does with it. Throws
  // std::runtime_error when the program cannot be started.
  explicit ChildProcess(const std::string& executable, const std::vector<std::string>& args = {},
                        const std::string& working_dir = "");
  // Kills the child (SIGKILL) if it is still running and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Exactly one write(2) of `bytes` to the child's standard input. False
  // when the write failed or took only part of the bytes.
  bool send(std::string_view bytes);
  void closeStdin();
  // Closes our end of the child's standard output: its writes fail from now.
  void closeStdout();

  // Standard output, up to the deadline. Bytes read past what a call
  // returns are kept for the next call.
  // Exactly `n` bytes; empty if they did not all arrive in time.
  std::optional<std::string> readExactly(std::size_t n, milliseconds timeout);
  // Everything up to and including the first `text`; empty if it did not
  // arrive in time.
  std::optional<std::string> readUntil(std::string_view text, milliseconds timeout);
  // Everything until end of file; empty if the output was not closed in time.
  std::optional<std::string> readAll(milliseconds timeout);
  // Whatever is there after waiting `quiet` for more: for checking that
  // nothing (more) was written.
  std::string readAvailable(milliseconds quiet);

  // Standard error as collected so far (it is drained while we read or wait).
  const std::string& stderrText() const { return err_; }

  // Waits for the child to end; empty on timeout (the child keeps running).
  std::optional<ExitStatus> wait(milliseconds timeout);

 private:
  // Waits once (poll) for output, the child's end or the deadline and
  // collects what came. Returns false when the deadline has passed.
  bool pump(std::chrono::steady_clock::time_point deadline, bool watch_exit);
  bool reap(bool block);
  // Pumps until `ready(eof)` says how many leading bytes of the output to
  // take (npos: not yet); empty when they do not come in time.
  std::optional<std::string> readWhen(milliseconds timeout,
                                      const std::function<std::size_t(bool eof)>& ready);

  pid_t pid_ = -1;
  int in_fd_ = -1, out_fd_ = -1, err_fd_ = -1;
  bool out_eof_ = false;
  std::string out_, err_;
  std::optional<ExitStatus> status_;
};

// As a match server talks to an engine. Sends each zero-terminated message
// of `messages` in a write of its own.
void sendEach(ChildProcess& p, const std::string& messages);
// Sends one message and expects exactly `expected` back.
void exchange(ChildProcess& p, const std::string& message, const std::string& expected,
              milliseconds timeout = milliseconds(5000));
// Closes the input and expects a quiet end by itself with status 0 and `err`
// on standard error; returns what came on standard output meanwhile.
std::string expectCleanEnd(ChildProcess& p, milliseconds timeout, const std::string& err = "");

// Runs a program to its end: exit code (-1 when it did not exit normally)
// and its standard output followed by its standard error.
struct Outcome {
  int status = -1;
  std::string out;
};
Outcome runToEnd(const std::string& program, const std::vector<std::string>& args,
                 milliseconds timeout = milliseconds(600'000));

// Whether a process still runs (a zombie has ended; its parent reaps it).
bool running(pid_t pid);
// The process ids listed in a file, one per word.
std::vector<pid_t> pidsIn(const std::string& file);

}  // namespace KelpTest
