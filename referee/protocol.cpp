#include "referee/protocol.h"

#include <fmt/format.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace Kelp::Referee {
namespace {

constexpr std::string_view READY = "READYOK";
constexpr std::string_view BEST = "BESTSHOT";
constexpr std::size_t MAX_EXCERPT = 80;

// Outcome of reading one BESTSHOT reply that starts at the keyword.
enum class Parse { Complete, Incomplete, SpinAtEnd, Bad };

struct Parsed {
  Parse result = Parse::Incomplete;
  std::size_t end = 0;  // one past the last byte that belongs to the reply
  double vx = 0.0;
  double vy = 0.0;
  int spin = 0;
};

bool toDouble(std::string_view field, double& out) {
  if (field.empty() || field.size() > MAX_NUMBER_FIELD) return false;
  std::string text(field);
  char* endp = nullptr;
  errno = 0;
  out = std::strtod(text.c_str(), &endp);
  return endp == text.c_str() + text.size() && errno == 0 && std::isfinite(out) &&
         !std::isspace(static_cast<unsigned char>(text[0]));
}

// Reads " vx vy spin" after the keyword at s[0..7].
Parsed parseBest(std::string_view s) {
  Parsed p;
  std::size_t i = BEST.size();
  double nums[2];
  for (double& num : nums) {
    if (i >= s.size()) return p;
    if (s[i] != ' ') return {Parse::Bad, i};
    ++i;
    const std::size_t start = i;
    while (i < s.size() && s[i] != ' ' && i - start <= MAX_NUMBER_FIELD) ++i;
    if (i - start > MAX_NUMBER_FIELD) return {Parse::Bad, i};
    if (i >= s.size()) return p;
    if (!toDouble(s.substr(start, i - start), num)) return {Parse::Bad, i};
  }
  if (i >= s.size()) return p;
  if (s[i] != ' ') return {Parse::Bad, i};
  ++i;
  const std::size_t start = i;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  const std::size_t digits = i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && i - digits < 10) ++i;
  if (i - digits >= 10) return {Parse::Bad, i};
  if (i >= s.size()) {
    p.result = i == digits ? Parse::Incomplete : Parse::SpinAtEnd;
  } else if (i == digits) {
    return {Parse::Bad, i};
  } else {
    p.result = Parse::Complete;
  }
  if (i > digits) {
    p.spin =
        static_cast<int>(std::strtol(std::string(s.substr(start, i - start)).c_str(), nullptr, 10));
  }
  p.end = i;
  p.vx = nums[0];
  p.vy = nums[1];
  return p;
}

}  // namespace

void ReplyScanner::feed(std::string_view bytes, std::chrono::steady_clock::time_point now) {
  buf_.append(bytes);
  scan(now, false);
}

void ReplyScanner::settle(std::chrono::steady_clock::time_point now) {
  scan(now, true);
}

void ReplyScanner::scan(std::chrono::steady_clock::time_point now, bool atQuietEnd) {
  pendingComplete_ = false;
  for (;;) {
    const std::size_t r = buf_.find(READY);
    const std::size_t b = buf_.find(BEST);
    if (r == std::string::npos && b == std::string::npos) {
      // Keep a tail that may be the start of a keyword cut by the pipe.
      const std::size_t keep = BEST.size() - 1;
      if (buf_.size() > keep) buf_.erase(0, buf_.size() - keep);
      return;
    }
    if (r < b) {
      replies_.push_back({Reply::Kind::ReadyOk, 0.0, 0.0, 0, std::string(READY), now});
      buf_.erase(0, r + READY.size());
      continue;
    }
    buf_.erase(0, b);
    const Parsed p = parseBest(buf_);
    if (p.result == Parse::Incomplete) return;
    if (p.result == Parse::SpinAtEnd && !atQuietEnd) {
      pendingComplete_ = true;
      return;
    }
    if (p.result == Parse::Bad) {
      // Keep a readable excerpt of what came instead of a reply: up to the
      // line end, within bounds.
      std::size_t n = std::min(buf_.find('\n'), MAX_EXCERPT);
      n = std::max(n, std::min(buf_.size(), p.end + 1));
      std::string text = buf_.substr(0, n);
      replies_.push_back({Reply::Kind::Malformed, 0.0, 0.0, 0, text, now});
      buf_.erase(0, BEST.size());
      continue;
    }
    replies_.push_back({Reply::Kind::BestShot, p.vx, p.vy, p.spin, buf_.substr(0, p.end), now});
    buf_.erase(0, p.end);
  }
}

std::string positionMessage(const RecordPositions& positions) {
  std::string m = "POSITION";
  for (const auto& xy : positions) m += fmt::format(" {} {}", xy[0], xy[1]);
  return m;
}

std::string setStateMessage(int shot, int end, int lastEnd, int color) {
  return fmt::format("SETSTATE {} {} {} {}", shot, end, lastEnd, color);
}

std::string scoreMessage(int score) {
  return fmt::format("SCORE {}", score);
}

std::string totalScoreMessage(int scoreA, int scoreB) {
  return fmt::format("TOTALSCORE {} {}", scoreA, scoreB);
}

}  // namespace Kelp::Referee
