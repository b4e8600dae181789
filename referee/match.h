// One match between two engines, played as the match server plays it: the
// engines are started on pipes, told the state of every throw, asked for
// their shots in turn, and the shots are thrown on the exact physics with
// execution error. A match owns its engines, its random engine (seeded from
// the match seed) and its output folder, so several can run at once.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "kelpsimulator/random.h"
#include "referee/match_page.h"
#include "referee/process.h"
#include "referee/record.h"
#include "referee/rules.h"
#include "referee/throw.h"

namespace Kelp::Referee {

struct MatchConfig {
  std::array<std::vector<std::string>, 2> commands;  // engine A and engine B, as words
  std::array<std::string, 2> names = {"A", "B"};     // shown in output and pictures
  int ends = 1;
  uint32_t seed = 0;
  double timeout = 10.0;       // s, per shot reply and per message read
  double readyTimeout = 30.0;  // s, for READYOK (engines build tables first)
  std::string outDir;
  int maxThrows = -1;  // stop after this many throws (scored as they lie); -1 for all
  // Execution error on every throw; off only to check the physics itself.
  bool executionError = true;
  bool pictures = true;
  double exitGrace = 3.0;  // s an engine is given to read its last messages and exit
  ThrowSettings throwSettings;
};

struct Fault {
  int side = SIDE_A;
  int end = -1;  // -1 before the first end
  int shot = -1;
  std::string what;
};

struct MatchResult {
  std::vector<EndScore> ends;     // one per end played
  std::array<int, 2> total{};     // points of A and B
  int winner = -1;                // SIDE_A, SIDE_B, or -1 for a draw
  std::vector<Fault> faults;      // every engine fault, in order
  std::array<int, 2> forfeits{};  // throws lost to faults, per engine
  int throws = 0;
  bool completed = false;    // the match ran to its end (faults allowed)
  bool interrupted = false;  // stopped by a signal (or requestStop) before its end
  std::string error;         // why the match could not run, if it could not
};

class Match {
 public:
  // progress receives the shot-by-shot lines; nullptr for silence.
  Match(MatchConfig config, std::ostream* progress);
  ~Match();
  Match(const Match&) = delete;
  Match& operator=(const Match&) = delete;

  MatchResult run();

 private:
  struct Engine;
  enum class Wait { Reply, Late, Dead, Stopped };

  void startEngines();
  void sendBoth(const std::string& message);
  void sendTo(int side, const std::string& message);
  // Waits until the engine has read every message queued for it (Reply).
  Wait awaitDelivery(int side, Clock::time_point deadline);
  // Waits for the reply to the request just queued: the first reply of the
  // given kind read after the engine took the request; any other reply is
  // unasked and dropped.
  Wait awaitReply(int side, Reply::Kind kind, Clock::time_point deadline, Reply& reply);
  // Drops every reply the engine wrote so far: none was asked for.
  void dropQueued(int side);
  void noteIfGone(int side, int end, int shot);
  // Lets an engine that is not being waited for take its messages.
  void tend(int side);
  void playEnd(int end, int firstSide);
  ThrowRecord playThrow(int end, int shot, int firstSide);
  void fault(int side, int end, int shot, const std::string& what);
  void endPicture(int end, int firstSide, const EndScore& score);
  void throwPicture(const ThrowRecord& record, int firstSide, const ThrowResult* result);
  std::string sideLabel(int side) const;
  void say(const std::string& line);
  void writePage(MatchState state);

  MatchConfig config_;
  std::ostream* progress_;
  // The dSFMT library is built with SSE2 and needs its state 16-byte aligned;
  // the engine's type asks for that itself (alignas), so a Match needs no care.
  DsfmtEngine random_;
  std::array<std::unique_ptr<Engine>, 2> engines_;
  RecordWriter record_;
  MatchPage page_;
  // The last throw's reply time and stone paths, for its line on the page.
  double lastSeconds_ = 0.0;
  std::optional<std::array<std::vector<PathPoint>, SHOTS_PER_END>> lastPaths_;
  bool pageFailed_ = false;  // said once: the match goes on without its page
  MatchResult result_;
  Sheet sheet_;
  std::array<int, SHOTS_PER_END> sideOfSlot_{};
  bool stopped_ = false;      // the throw limit was reached
  bool interrupted_ = false;  // a stop was asked: the match ends at once
};

// The exit status of a match: 0 when it completed without engine faults, 1
// otherwise (an interrupted match: 128 + the signal, see cli.cpp).
int exitStatus(const MatchResult& result);

}  // namespace Kelp::Referee
