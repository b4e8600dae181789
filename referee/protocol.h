// The referee's side of the engine protocol: the messages it sends, and the
// recognition of the engine's replies inside its output stream. An engine's
// replies carry no line end and share standard output with its diagnostic
// lines, so replies are found by their keyword wherever they appear.
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <string>
#include <string_view>

namespace Kelp::Referee {

struct Reply {
  enum class Kind { ReadyOk, BestShot, Malformed };
  Kind kind = Kind::Malformed;
  // BestShot: the numbers as sent (record frame).
  double vx = 0.0;
  double vy = 0.0;
  int spin = 0;
  std::string text;  // the reply's bytes as received (bounded for malformed ones)
  std::chrono::steady_clock::time_point at;
};

// Finds "READYOK" and "BESTSHOT vx vy spin" in a byte stream that arrives in
// arbitrary pieces. Everything else is diagnostics and is dropped (the
// process keeps a full copy in its log). Memory stays bounded whatever the
// engine prints.
class ReplyScanner {
 public:
  void feed(std::string_view bytes, std::chrono::steady_clock::time_point now);
  // A reply whose spin digits end the stream so far may still continue; it
  // is pending until a non-digit follows or settle() is called (the caller
  // does so when the engine has been quiet for a moment).
  bool pending() const { return pendingComplete_; }
  void settle(std::chrono::steady_clock::time_point now);
  std::deque<Reply>& replies() { return replies_; }

 private:
  void scan(std::chrono::steady_clock::time_point now, bool atQuietEnd);
  std::string buf_;
  bool pendingComplete_ = false;
  std::deque<Reply> replies_;
};

// Longest number field accepted in a BESTSHOT reply; anything longer is
// malformed rather than waited for.
inline constexpr std::size_t MAX_NUMBER_FIELD = 40;

// Stone positions of the end as the engines see them, record frame, in throw
// order (slot k = shot k of the end).
using RecordPositions = std::array<std::array<float, 2>, 16>;

std::string positionMessage(const RecordPositions& positions);
std::string setStateMessage(int shot, int end, int lastEnd, int color);
std::string scoreMessage(int score);
std::string totalScoreMessage(int scoreA, int scoreB);

}  // namespace Kelp::Referee
