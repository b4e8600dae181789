// The bench positions and their run. Positions are written in the board
// frame (tee at the origin, the thrower's end of the sheet at negative y) and
// handed to the player through a game record, as the server would send them.
#include "driver/strong_bench.h"

#include <fmt/core.h>

#include <string>

#include "driver/game_commands.h"
#include "kelpsimulator/check.h"
#include "kelpsimulator/digest.h"
#include "kelpsimulator/field.h"
#include "kelpsimulator/primitive.h"
#include "kelpsimulator/thinkboard.h"

namespace Kelp {
namespace {

struct BenchStone {
  int col;     // BLACK throws first in an end, WHITE has the last stone
  float x, y;  // board frame
};

struct BenchPosition {
  const char* name;
  int shot;        // stones thrown in the end so far: BLACK ceil(shot / 2), WHITE floor(shot / 2)
  int ends_left;   // ends to play after this one
  int score_diff;  // the record's score difference
  int stones;
  BenchStone stone[16];
};

// Varied on purpose: the open sheet, guards, a crowded and a full house, and
// the last stones, where the end's score (or, level in the last end, its sign)
// decides.
// clang-format off
const BenchPosition POSITIONS[] = {
    {"empty-sheet", 0, 3, 0, 0, {}},
    {"centre-guard", 1, 3, 0, 1, {{BLACK, 0.0f, -3.2f}}},
    {"corner-guards", 4, 2, 1, 4,
     {{BLACK, 0.9f, -2.9f}, {WHITE, -1.0f, -3.1f}, {BLACK, 0.2f, 0.4f}, {WHITE, -0.3f, -4.6f}}},
    {"stone-on-tee", 5, 2, 0, 4,
     {{BLACK, 0.05f, 0.1f}, {BLACK, 0.3f, -3.0f}, {BLACK, -0.8f, -2.6f}, {WHITE, 1.4f, 1.3f}}},
    {"mid-end", 8, 1, -1, 6,
     {{BLACK, 0.1f, 0.2f}, {BLACK, -0.6f, -0.9f}, {BLACK, 0.8f, -2.5f},
      {WHITE, 0.3f, 0.5f}, {WHITE, -1.2f, 0.4f}, {WHITE, 0.5f, -1.6f}}},
    {"full-house", 12, 1, 0, 12,
     {{BLACK, 0.1f, 0.2f}, {BLACK, -0.6f, -0.9f}, {BLACK, 1.2f, 0.9f}, {BLACK, -1.4f, -0.2f},
      {BLACK, 0.4f, -1.3f}, {BLACK, -0.3f, 1.5f}, {WHITE, 0.3f, 0.5f}, {WHITE, -1.2f, 0.4f},
      {WHITE, 0.5f, -1.6f}, {WHITE, -0.2f, 1.1f}, {WHITE, 0.9f, -0.4f}, {WHITE, 1.5f, -0.6f}}},
    {"guarded-shot", 13, 0, 1, 7,
     {{BLACK, 0.0f, -0.3f}, {BLACK, 0.1f, -2.8f}, {BLACK, -0.4f, -3.6f}, {BLACK, 1.1f, 0.6f},
      {WHITE, 0.7f, 0.2f}, {WHITE, -1.6f, -0.8f}, {WHITE, 0.0f, -6.0f}}},
    {"last-stone-level", 15, 0, 0, 5,
     {{BLACK, 0.25f, 0.0f}, {BLACK, -0.5f, -2.4f}, {BLACK, 1.0f, 1.2f},
      {WHITE, -0.9f, 0.6f}, {WHITE, 0.4f, -3.3f}}},
    {"last-stone-down-two", 15, 0, -2, 6,
     {{BLACK, 0.0f, 0.0f}, {BLACK, 0.3f, 0.7f}, {BLACK, -0.2f, -2.0f},
      {WHITE, -0.5f, 0.3f}, {WHITE, 0.9f, -0.5f}, {WHITE, 1.7f, 0.2f}}},
    {"last-stone-open", 15, 1, 1, 2, {{BLACK, 0.8f, -0.9f}, {WHITE, -2.0f, -5.0f}}},
};
// clang-format on

ThinkBoard boardOf(const BenchPosition& p) {
  ClientField field;
  field.shot = p.shot;
  field.end = 0;
  field.last_end = p.ends_left + 1;
  field.rel_score = p.score_diff;
  int next[2] = {0, 0};  // per colour: the next free record slot
  for (int i = 0; i < p.stones; ++i) {
    const BenchStone& s = p.stone[i];
    const int k = 2 * next[s.col]++ + s.col;
    KELP_CHECK(k < 16);
    field.setPosition(k, static_cast<float>(s.x + RECORD_TEE_X), RECORD_TEE_Y - s.y);
  }
  std::string problem;
  const std::optional<ThinkBoard> board = ThinkBoard::fromRecord(field, &problem);
  KELP_CHECK_TEXT(board.has_value(), "every bench position is a legal record");
  return *board;
}

}  // namespace

int benchPositions() {
  return static_cast<int>(std::size(POSITIONS));
}

BenchResult runBench(BaseAI<ThinkResult>& player, std::ostream& out) {
  BenchResult result;
  Digest d;
  int number = 0;
  for (const BenchPosition& p : POSITIONS) {
    player.Init();
    const ThinkResult r = player.Think(CurlingGameState(boardOf(p)));
    const Move& m = std::get<0>(r);
    const std::string reply = formatBestShot(m.move_state.vx, m.move_state.vy, m.move_state.spin);
    // The reply's bytes as the server would read them, then the counts and
    // the mean exactly: play and the work behind it.
    d.add(reply);
    d.add(m.move_state.label);
    d.add(int64_t{std::get<1>(r)}, int64_t{m.uct_state.visits}, m.uct_state.mean);
    result.samples += static_cast<uint64_t>(std::get<1>(r));
    out << fmt::format("{:2} {:<20} {} {:<12} count {:>7} chosen {:>6} mean {:+.4f}\n", ++number,
                       p.name, reply, m.move_state.label, std::get<1>(r), m.uct_state.visits,
                       m.uct_state.mean);
  }
  result.signature = d.value();
  out << fmt::format("total samples {}\nsignature {:016x}\n", result.samples, result.signature);
  return result;
}

}  // namespace Kelp
