#include "referee/protocol.h"

#include <fmt/format.h>

#include <algorithm>
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
enum class Parse { Complete, Incomplete, Bad };

struct Parsed {
  Parse result = Parse::Incomplete;
  std::size_t end = 0;  // Complete: one past the spin; Bad: where it went wrong
  double vx = 0.0;
  double vy = 0.0;
  int spin = 0;
};

bool isLineEnd(char c) {
  return c == '\n' || c == '\r';
}

bool isNumberChar(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.' ||
         c == 'e' || c == 'E';
}

bool toDouble(std::string_view field, double& out) {
  if (field.empty() || field.size() > MAX_NUMBER_FIELD) return false;
  std::string text(field);
  char* endp = nullptr;
  errno = 0;
  out = std::strtod(text.c_str(), &endp);
  return endp == text.c_str() + text.size() && errno == 0 && std::isfinite(out);
}

// Reads " vx vy spin" after the keyword at s[0..7]. Incomplete only while
// every byte so far fits the form, so what waits is at most one reply long.
Parsed parseBest(std::string_view s, bool drained) {
  std::size_t i = BEST.size();
  double nums[2];
  for (double& num : nums) {
    if (i >= s.size()) return {};
    if (s[i] != ' ') return {Parse::Bad, i};
    ++i;
    const std::size_t start = i;
    while (i < s.size() && isNumberChar(s[i]) && i - start <= MAX_NUMBER_FIELD) ++i;
    if (i - start > MAX_NUMBER_FIELD) return {Parse::Bad, i};
    if (i >= s.size()) return {};
    if (s[i] != ' ' || !toDouble(s.substr(start, i - start), num)) return {Parse::Bad, i};
  }
  ++i;  // the space before the spin
  if (i >= s.size()) return {};
  if (s[i] != '0' && s[i] != '1') return {Parse::Bad, i};
  const int spin = s[i] - '0';
  ++i;
  if (i >= s.size()) {
    // The read did not empty the pipe: what follows decides.
    if (!drained) return {};
  } else if (!isLineEnd(s[i])) {
    return {Parse::Bad, i};
  }
  return {Parse::Complete, i, nums[0], nums[1], spin};
}

// What came instead of a reply, for the record and the log: up to the line
// end, within bounds, and at least up to the byte that was wrong.
std::string excerpt(std::string_view s, std::size_t bad) {
  std::size_t n = std::min(s.size(), MAX_EXCERPT);
  for (std::size_t k = 0; k < n; ++k) {
    if (isLineEnd(s[k])) {
      n = k;
      break;
    }
  }
  return std::string(s.substr(0, std::max(n, std::min(s.size(), bad + 1))));
}

}  // namespace

void ReplyScanner::push(Reply reply) {
  const bool ready = reply.kind == Reply::Kind::ReadyOk;
  const auto sameKind = std::count_if(replies_.begin(), replies_.end(), [&](const Reply& r) {
    return (r.kind == Reply::Kind::ReadyOk) == ready;
  });
  if (static_cast<std::size_t>(sameKind) >= MAX_KEPT_REPLIES) {
    ++overflow_;
    return;
  }
  replies_.push_back(std::move(reply));
}

void ReplyScanner::feed(std::string_view bytes, bool drained,
                        std::chrono::steady_clock::time_point now) {
  // The carry is at most one reply long, so joining it costs no more than
  // reading the new bytes.
  std::string joined;
  std::string_view s = bytes;
  if (!carry_.empty()) {
    joined = carry_;
    joined.append(bytes);
    s = joined;
    carry_.clear();
  }
  std::size_t i = 0;
  while (i < s.size()) {
    // The next keyword, or the start of one that the pipe cut; each byte
    // is looked at a bounded number of times.
    std::size_t k = i;
    bool cut = false;
    for (; k < s.size(); ++k) {
      if (s[k] != 'R' && s[k] != 'B') continue;
      const std::string_view key = s[k] == 'R' ? READY : BEST;
      const std::size_t n = std::min(key.size(), s.size() - k);
      if (s.substr(k, n) != key.substr(0, n)) continue;
      cut = n < key.size();
      break;
    }
    if (k >= s.size()) return;
    if (cut) {
      carry_ = std::string(s.substr(k));
      return;
    }
    if (s[k] == 'R') {
      push({Reply::Kind::ReadyOk, 0.0, 0.0, 0, std::string(READY), now});
      i = k + READY.size();
      continue;
    }
    const std::string_view rest = s.substr(k);
    const Parsed p = parseBest(rest, drained);
    if (p.result == Parse::Incomplete) {
      carry_ = std::string(rest);
      return;
    }
    if (p.result == Parse::Bad) {
      push({Reply::Kind::Malformed, 0.0, 0.0, 0, excerpt(rest, p.end), now});
      i = k + BEST.size();
      continue;
    }
    push({Reply::Kind::BestShot, p.vx, p.vy, p.spin, std::string(rest.substr(0, p.end)), now});
    i = k + p.end;
  }
}

void ReplyScanner::close(std::chrono::steady_clock::time_point now) {
  if (partial()) push({Reply::Kind::Malformed, 0.0, 0.0, 0, carry_, now});
  carry_.clear();
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
