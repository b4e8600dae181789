// match.html: the page of one match, rewritten after every throw while the
// match runs (the page reloads itself until its match has ended), and a
// last time when it ends. It holds the record of every throw, the time
// each reply took, the paths of the stones that moved, the faults and the
// result.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "referee/record.h"
#include "referee/throw.h"

namespace Kelp::Referee {

struct MatchConfig;
struct MatchResult;

// Where a match stands, as its page shows it.
enum class MatchState { Playing, Finished, Interrupted };

// The sampled paths as the page takes them: per moving stone one array
// [slot, step, x, y, dstep, dx, dy, ...] of integers, positions in mm, each
// point after the first as the change from the one before. Only the part
// of a path from just before it enters the drawn part of the sheet is kept.
// A stone is sampled only while it moves (every sampleEvery steps): one that
// lay still until struck gets a point where it lay sampleEvery steps before
// its first move, so that the page does not move it before it is struck.
nlohmann::json pagePaths(const std::array<std::vector<PathPoint>, SHOTS_PER_END>& paths,
                         int sampleEvery);

class MatchPage {
 public:
  explicit MatchPage(const MatchConfig& config);

  // One more throw: its record line, the seconds its reply took and the
  // paths of the stones that moved (none when the turn was lost).
  void add(const ThrowRecord& record, double seconds,
           const std::array<std::vector<PathPoint>, SHOTS_PER_END>* paths);
  std::string html(const MatchResult& result, MatchState state) const;
  // Writes DIR/match.html whole (temporary name, then renamed); false when
  // it could not be written.
  bool write(const std::string& dir, const MatchResult& result, MatchState state) const;

 private:
  nlohmann::json config_;  // what the match was set to play
  int sampleEvery_;
  std::vector<std::string> throws_;  // each throw's data, already embedded
  std::size_t bytes_ = 0;
};

}  // namespace Kelp::Referee
