// An engine as a child process on pipes, in a process group of its own: one
// write per message, replies read with a deadline, what it prints copied,
// bounded, to a per-engine log file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "referee/protocol.h"

namespace Kelp::Referee {

using Clock = std::chrono::steady_clock;

// Splits a command given as one shell-style string into words (quotes and
// backslashes as the shell treats them; no command substitution). Returns
// nothing when the string is empty or cannot be split.
std::optional<std::vector<std::string>> splitCommand(const std::string& command);

// What is kept of an engine's output (standard output and error together)
// between two messages to it, for its log; older output is dropped and the
// log says how much.
inline constexpr std::size_t OUTPUT_KEPT = 64 * 1024;
// How long an engine's process group is given after SIGTERM before SIGKILL.
inline constexpr std::chrono::milliseconds KILL_GRACE{500};

class EngineProcess {
 public:
  EngineProcess() = default;
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  // Starts words[0] (looked up on PATH when it has no slash, made absolute
  // against the current directory when it is relative) with words[1..] as
  // arguments, in a process group of its own, working directory workDir
  // (created if missing); what it prints goes, bounded, to logPath. False,
  // with a reason in error(), when the program could not be started.
  // Ignores SIGPIPE for the whole process (the engine gets the default back).
  bool start(const std::vector<std::string>& words, const std::string& workDir,
             const std::string& logPath);

  // Queues a message. Messages are written one per write, each only once
  // the engine has taken the previous one out of the pipe, so that two can
  // never reach it in the same read. An engine that is busy (thinking late)
  // gets its messages when it reads again.
  void queue(std::string message);
  // Writes the next queued message if the pipe is empty; never blocks.
  void pump();
  // Whether every queued message has been written and read by the engine
  // (also after it exited: whether it read them before).
  bool delivered();

  // Pumps the queue and waits until output arrives, the engine closes its
  // output, or the deadline passes. New bytes go to the log and the scanner.
  // Notices the engine's exit. False when nothing more can arrive.
  bool readSome(Clock::time_point deadline);
  // Reads, without waiting, what the engine had written by now (not what
  // it writes meanwhile).
  void readPresent();

  // Replies recognised in the engine's output so far (the rest of its
  // output goes only to the log).
  ReplyScanner& scanner() { return scanner_; }
  // A reply that no request asked for: dropped, and counted in one note in
  // the log before the next message.
  void dropUnasked(const Reply& reply);

  // Alive while the engine's own process runs and its output is open; a
  // descendant that holds the pipes does not keep it alive.
  bool alive() const { return pid_ > 0 && !outputClosed_ && !dead_; }
  const std::string& error() const { return error_; }
  pid_t pid() const { return pid_; }

  // Delivers what is queued (within grace), closes the engine's input, gives
  // it the rest of grace to exit, then ends its process group; copies the
  // rest of its output to the log. Safe to call twice.
  void finish(std::chrono::milliseconds grace);
  // Ends the engine's process group now (SIGTERM, SIGKILL after KILL_GRACE);
  // it stops counting as alive.
  void kill();

  // Appends a referee note to the engine's log, on a line of its own.
  void note(const std::string& text);

 private:
  bool pipeEmpty();
  void closeInput();
  bool leaderExited();
  bool readFrom(int& fd, bool scanned);
  void keep(const char* data, std::size_t n);
  void flushLog();
  void endGroup(std::chrono::milliseconds grace);
  static std::string errorText(const char* what, int err);

  pid_t pid_ = -1;  // also the process group
  int in_ = -1;     // write end of the engine's stdin
  int out_ = -1;    // read end of the engine's stdout
  int err_ = -1;    // read end of the engine's stderr
  int log_ = -1;
  bool outputClosed_ = false;
  bool exited_ = false;  // the engine's own process has exited (not yet reaped)
  bool dead_ = false;
  bool reaped_ = false;
  ReplyScanner scanner_;
  std::deque<std::string> outbox_;
  std::string kept_;         // output not yet in the log, the newest OUTPUT_KEPT bytes
  std::size_t dropped_ = 0;  // output bytes dropped since the last message
  std::size_t unasked_ = 0;  // unasked replies since the last message
  std::string firstUnasked_;
  std::string error_;
};

}  // namespace Kelp::Referee
