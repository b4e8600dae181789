// An engine as a child process on pipes: one write per message, replies read
// from a growing output buffer with a deadline, everything it prints copied to
// a per-engine log file.
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

class EngineProcess {
 public:
  EngineProcess() = default;
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  // Starts words[0] (looked up on PATH when it has no slash, made absolute
  // against the current directory when it is relative) with words[1..] as
  // arguments, working directory workDir (created if missing); its standard
  // output and standard error are appended to logPath. False, with a reason
  // in error(), when the program could not be started. Ignores SIGPIPE for
  // the whole process (the engine gets the default back).
  bool start(const std::vector<std::string>& words, const std::string& workDir,
             const std::string& logPath);

  // Queues a message. Messages are written one per write, each only once
  // the engine has taken the previous one out of the pipe, so that two can
  // never reach it in the same read. An engine that is busy (thinking late)
  // gets its messages when it reads again.
  void queue(std::string message);
  // Writes the next queued message if the pipe is empty; never blocks.
  void pump();
  // Whether every queued message has been written and read by the engine.
  bool delivered();

  // Pumps the queue and waits until output arrives, the engine closes its
  // output, or the deadline passes. New bytes go to the log and the scanner. False when
  // nothing more can arrive (end of output).
  bool readSome(Clock::time_point deadline);

  // Replies recognised in the engine's output so far (the rest of its
  // output goes only to the log).
  ReplyScanner& scanner() { return scanner_; }

  bool alive() const { return pid_ > 0 && !outputClosed_ && !dead_; }
  // Whether the output is closed: the engine exited or closed its stdout.
  bool outputClosed() const { return outputClosed_; }
  const std::string& error() const { return error_; }
  // When output last arrived (or the engine was started).
  Clock::time_point lastData() const { return lastData_; }

  // Delivers what is queued (within grace), closes the engine's input, gives
  // it grace to exit, then kills it; reaps it and copies the rest of its
  // output to the log. Safe to call twice.
  void finish(std::chrono::milliseconds grace);
  // Kills the engine at once (it stops counting as alive) and reaps it.
  void kill();

  // Appends a referee note to the engine's log, on a line of its own.
  void note(const std::string& text);

 private:
  bool pipeEmpty();
  void closeInput();
  void reap(std::chrono::milliseconds grace);
  static std::string errorText(const char* what, int err);

  pid_t pid_ = -1;
  int in_ = -1;   // write end of the engine's stdin
  int out_ = -1;  // read end of the engine's stdout
  int log_ = -1;
  bool outputClosed_ = false;
  bool dead_ = false;
  bool reaped_ = false;
  ReplyScanner scanner_;
  std::deque<std::string> outbox_;
  Clock::time_point lastData_;
  std::string error_;
};

}  // namespace Kelp::Referee
