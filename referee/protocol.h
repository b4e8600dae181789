// The referee's side of the engine protocol: the messages it sends, and the
// recognition of the engine's replies inside its output stream. Replies
// share standard output with the engine's diagnostic lines and need not
// start a line, so a reply starts at its keyword wherever it appears.
//
// A reply is exactly "READYOK" or "BESTSHOT vx vy spin": single spaces,
// vx and vy finite decimal numbers, spin the single digit 0 or 1. It ends
// right after the spin digit, which must be followed by a line end or by
// the end of everything the engine had written when the referee read it
// (the read emptied the pipe): the engine writes its reply in one write,
// and what it writes later cannot change a reply that was already whole.
// Anything else after "BESTSHOT" (another word, more digits, a missing
// spin followed by a line end) makes it malformed.
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

// Finds replies in a byte stream that arrives in arbitrary pieces, in one
// pass over each byte. Everything else is diagnostics and is dropped here.
// Memory stays bounded whatever the engine prints: at most MAX_KEPT_REPLIES
// READYOKs and as many shot replies (BESTSHOT, well formed or not) wait to
// be taken, so a flood of one kind cannot push out the other (later ones
// are only counted), and at most one reply's worth of bytes is carried from
// one piece to the next.
class ReplyScanner {
 public:
  // `drained`: the read that delivered these bytes emptied the pipe, so
  // they end everything the engine had written so far.
  void feed(std::string_view bytes, bool drained, std::chrono::steady_clock::time_point now);
  // Whether a reply has begun and not ended yet.
  bool partial() const { return carry_.rfind("BESTSHOT", 0) == 0; }
  // The wait is over or the output ended: a reply begun is taken as it is
  // (malformed, since it did not end well).
  void close(std::chrono::steady_clock::time_point now);
  std::deque<Reply>& replies() { return replies_; }
  // Replies not kept because MAX_KEPT_REPLIES of their kind were waiting;
  // reset by the caller when it has reported them.
  std::size_t& overflow() { return overflow_; }

 private:
  void push(Reply reply);
  std::string carry_;  // a keyword cut by the pipe, or a reply not yet ended
  std::deque<Reply> replies_;
  std::size_t overflow_ = 0;
};

inline constexpr std::size_t MAX_KEPT_REPLIES = 8;
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
