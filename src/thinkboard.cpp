#include "kelpsimulator/thinkboard.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "kelpsimulator/check.h"

namespace Kelp {

// The search copies boards for every iteration and playout: they must stay
// plain fixed-size values.
static_assert(std::is_trivially_copyable_v<ThinkBoard>);
static_assert(std::is_trivially_copyable_v<StonePositions>);

namespace {

// Stones a colour may have in play when t throws are left: BLACK gains one at
// turns 15, 13, ..., WHITE at 14, 12, ..., up to 8 each at turn 0.
int stoneLimit(int col, int t) {
  return (17 - col - t) / 2;
}

bool stoneNumberOk(int col, int t, const ThinkBoard& board) {
  const int n = board.count[col];
  return 0 <= n && n <= stoneLimit(col, t);
}

void formatStoneNumber(char* buf, size_t size, int col, int t, const ThinkBoard& board) {
  std::snprintf(buf, size, "ThinkBoard : illegal number of stones( %s%dt%d ).", COLOR_NAME[col],
                board.count[col], t);
}

// Turn value the colour that throws next has: turn % 2 for a turn >= 0.
int colourToThrow(int turn) {
  return turn % 2;
}

}  // namespace

ThinkBoard::ThinkBoard()
    : ends_left(0),
      turn(0),
      score_diff(0),
      end_score_now(0),
      stones{},
      in_house{0, 0},
      count{0, 0},
      state{},
      last_index(-1),
      front_y(999.0) {
  clear();
}

ThinkBoard::ThinkBoard(const ClientField& field) : ThinkBoard() {
  // Computed in 64 bits: the record stores last_end and end unchecked, and
  // the difference of two arbitrary 32-bit values must not overflow.
  ends_left = static_cast<int32_t>(static_cast<int64_t>(field.last_end) - field.end - 1);
  turn = static_cast<int32_t>(TURN_FIRST - static_cast<int64_t>(field.shot));
  score_diff = field.rel_score;
  // All eight BLACK candidates before the first WHITE one.
  for (int col = BLACK; col <= WHITE; ++col) {
    for (int k = 0; k < 8; ++k) {
      const ClientField::Position& p = field.position[2 * k + col];
      const double x = toBoardX(p.x);
      const double y = toBoardY(p.y);
      if (isInPlayArea(x, y)) setStone(col, x, y);
    }
  }
  finishRebuild();
  KELP_CHECK_TEXT(Exam(*this, 3), "Exam(*this, 3)");
  KELP_CHECK_TEXT(TURN_LAST < turn && turn <= TURN_FIRST,
                  "Kelp::TURN_LAST < turn && turn <= Kelp::TURN_FIRST");
}

std::optional<ThinkBoard> ThinkBoard::fromRecord(const ClientField& field, std::string* error) {
  char buf[128];
  auto fail = [&](const char* text) -> std::optional<ThinkBoard> {
    if (error != nullptr) *error = text;
    return std::nullopt;
  };
  // A board built from the record always has a throw to make.
  if (field.shot < 0 || field.shot >= TURN_FIRST) {
    std::snprintf(buf, sizeof buf, "ThinkBoard : illegal shot number( %d ).",
                  static_cast<int>(field.shot));
    return fail(buf);
  }
  const int64_t endsLeft = static_cast<int64_t>(field.last_end) - field.end - 1;
  if (endsLeft < INT32_MIN || endsLeft > INT32_MAX) {
    std::snprintf(buf, sizeof buf, "ThinkBoard : illegal end bound( %d, %d ).",
                  static_cast<int>(field.end), static_cast<int>(field.last_end));
    return fail(buf);
  }
  // Count what the constructor would insert, so that it cannot fail on the
  // stone limits (the other invariants hold by construction for any record:
  // only stones in the play area are kept, and their states are computed).
  ThinkBoard probe;
  probe.turn = TURN_FIRST - field.shot;
  for (int col = BLACK; col <= WHITE; ++col) {
    for (int k = 0; k < 8; ++k) {
      const ClientField::Position& p = field.position[2 * k + col];
      if (isInPlayArea(toBoardX(p.x), toBoardY(p.y))) ++probe.count[col];
    }
  }
  for (int col = BLACK; col <= WHITE; ++col) {
    if (!stoneNumberOk(col, probe.turn, probe)) {
      formatStoneNumber(buf, sizeof buf, col, probe.turn, probe);
      return fail(buf);
    }
  }
  return ThinkBoard(field);
}

std::optional<ThinkBoard> ThinkBoard::fromStones(const double (&xy)[16][2], int turn,
                                                 int32_t ends_left, int32_t score_diff,
                                                 std::string* error) {
  char buf[128];
  if (turn < TURN_LAST || turn > TURN_FIRST) {
    std::snprintf(buf, sizeof buf, "ThinkBoard : illegal turn( %d ).", turn);
    if (error != nullptr) *error = buf;
    return std::nullopt;
  }
  ThinkBoard board;
  board.ends_left = ends_left;
  board.turn = turn;
  board.score_diff = score_diff;
  for (int col = BLACK; col <= WHITE; ++col) {
    for (int k = 0; k < 8; ++k) {
      if (isInPlayArea(xy[2 * k + col][0], xy[2 * k + col][1])) ++board.count[col];
    }
    if (!stoneNumberOk(col, turn, board)) {
      formatStoneNumber(buf, sizeof buf, col, turn, board);
      if (error != nullptr) *error = buf;
      return std::nullopt;
    }
    board.count[col] = 0;
  }
  for (int col = BLACK; col <= WHITE; ++col) {
    for (int k = 0; k < 8; ++k) {
      const double x = xy[2 * k + col][0];
      const double y = xy[2 * k + col][1];
      if (isInPlayArea(x, y)) board.setStone(col, x, y);
    }
  }
  board.finishRebuild();
  KELP_CHECK_TEXT(Exam(board, 3), "Exam(board, 3)");
  return board;
}

void ThinkBoard::clear() {
  ends_left = 0;
  turn = TURN_FIRST;
  score_diff = 0;
  end_score_now = 0;
  for (int col = 0; col < 2; ++col) {
    for (int i = 0; i < 8; ++i) {
      stones[col][i] = Stone{};
      state[col][i] = 0;
    }
    in_house[col] = 0;
    count[col] = 0;
  }
  last_index = -1;
  front_y = 999.0;
}

Stone ThinkBoard::stoneAt(double x, double y) {
  return Stone{x, y, std::hypot(x - FX_TEE, y - 0.0), std::atan2(y - 0.0, x - FX_TEE)};
}

void ThinkBoard::insertSorted(int col, Stone stone, bool moveState) {
  KELP_CHECK(examColor(col));
  // The lists hold eight stones; a ninth would be written past the end
  // before any count check could see it.
  KELP_CHECK_TEXT(count[col] < 8, "count[col] < 8");
  const double r = stone.r;
  int j;
  if (inHouse(r)) {
    j = in_house[col] - 1;
    ++in_house[col];
  } else {
    j = count[col] - 1;
  }
  // After every stone with a smaller or equal distance: among equal
  // distances the newer stone comes last.
  while (j >= 0 && r < stones[col][j].r) --j;
  const int at = j + 1;
  for (int i = count[col]; i > at; --i) {
    stones[col][i] = stones[col][i - 1];
    if (moveState) state[col][i] = state[col][i - 1];
  }
  stones[col][at] = stone;
  if (moveState) last_index = at;
  ++count[col];
  // The count may already include the stone of the throw now being made.
  KELP_CHECK_TEXT(ExamStoneNumber(col, turn - 1, *this), "ExamStoneNumber(col, turn - 1, *this)");
}

void ThinkBoard::setStone(int col, double x, double y) {
  insertSorted(col, stoneAt(x, y), false);
}

void ThinkBoard::setStone(int col, const Stone& known) {
  insertSorted(col, known, false);
}

void ThinkBoard::putStone(int col, double x, double y) {
  insertSorted(col, stoneAt(x, y), true);
}

// States, front_y and the score recomputed from the stone lists alone, for
// the colour m = turn % 2 to throw next.
void ThinkBoard::finishRebuild() {
  if (count[BLACK] == 0 && count[WHITE] == 0) {
    end_score_now = 0;
    return;
  }
  for (int col = BLACK; col <= WHITE; ++col) {
    for (int i = 0; i < count[col]; ++i) state[col][i] = static_cast<uint32_t>(col);
  }
  double fy = PLAY_AREA_Y_MAX;
  for (int col = BLACK; col <= WHITE; ++col) {
    for (int i = 0; i < count[col]; ++i) fy = std::fmin(fy, stones[col][i].y);
  }
  front_y = fy;
  if (turn >= 13) {
    const int m = colourToThrow(turn);
    for (int col = BLACK; col <= WHITE; ++col) {
      for (int i = in_house[col]; i < count[col]; ++i) {
        const double y = stones[col][i].y;
        KELP_CHECK(isInPlayArea(FX_TEE, y));
        if (y < FREE_GUARD_Y_MAX) {
          state[col][i] |= STONE_IN_FGZ;
          // The side that has just thrown keeps its guards protected.
          if (col != m) state[col][i] |= STONE_PROTECTED;
        }
      }
    }
  }
  end_score_now = countScore();
}

void ThinkBoard::afterShot(int changed) {
  // A board at turn 0 is the end's final state: nothing may be thrown on it.
  KELP_CHECK_TEXT(TURN_LAST < turn && turn <= TURN_FIRST,
                  "Kelp::TURN_LAST < turn && turn <= Kelp::TURN_FIRST");
  --turn;
  const int m = colourToThrow(turn);
  const int o = 1 - m;
  auto updateProtection = [&] {
    for (int i = 0; i < count[m]; ++i) state[m][i] &= ~STONE_PROTECTED;
    for (int i = 0; i < count[o]; ++i) {
      if (state[o][i] & STONE_IN_FGZ) state[o][i] |= STONE_PROTECTED;
    }
  };
  switch (changed) {
    case 0:
      if (turn == 12) {
        // End of the free-guard period; WHITE lost protection one throw earlier.
        for (int i = 0; i < count[BLACK]; ++i) state[BLACK][i] &= ~STONE_PROTECTED;
      } else if (turn > 12) {
        updateProtection();
      }
      break;
    case 1: {
      KELP_CHECK(0 <= last_index && last_index < count[o]);
      state[o][last_index] = static_cast<uint32_t>(o);
      if (turn == 12) {
        for (int i = 0; i < count[m]; ++i) state[m][i] &= ~STONE_PROTECTED;
      } else if (turn > 12) {
        if (isInFreeGuardZone(stones[o][last_index])) state[o][last_index] |= STONE_IN_FGZ;
        updateProtection();
      }
      front_y = std::fmin(front_y, stones[o][last_index].y);
      end_score_now = countScore();
      break;
    }
    case 2:
      finishRebuild();
      break;
    default:
      KELP_CHECK_TEXT(false, "changed == 0 || changed == 1 || changed == 2");
  }
  KELP_CHECK_TEXT(Exam(*this, changed), "Exam(*this, changed)");
}

int ThinkBoard::countScore() const {
  const int hb = in_house[BLACK];
  const int hw = in_house[WHITE];
  if (hb == 0) return -hw;
  if (hw == 0) return hb;
  const double rb = stones[BLACK][0].r;
  const double rw = stones[WHITE][0].r;
  if (rb < rw) {
    int n = 1;
    while (n < hb && stones[BLACK][n].r < rw) ++n;
    return n;
  }
  if (rw < rb) {
    int n = 1;
    while (n < hw && stones[WHITE][n].r < rb) ++n;
    return -n;
  }
  return 0;
}

StonePositions ThinkBoard::getStonePositions() const {
  StonePositions out;
  for (int col = BLACK; col <= WHITE; ++col) {
    KELP_CHECK_TEXT(examColor(col), "examColor(col)");
    for (int i = 0; i < count[col]; ++i) {
      KELP_CHECK_TEXT(0 <= i && i < 8, "0 <= i && i < 8");
      out.xy[out.size++] = {static_cast<float>(stones[col][i].x),
                            static_cast<float>(stones[col][i].y)};
    }
  }
  return out;
}

bool ExamStoneNumber(int col, int turn, const ThinkBoard& board) {
  if (stoneNumberOk(col, turn, board)) return true;
  char buf[128];
  formatStoneNumber(buf, sizeof buf, col, turn, board);
  std::fprintf(stderr, "%s\n", buf);
  return false;
}

bool ExamStoneState(const ThinkBoard& board) {
  for (int col = BLACK; col <= WHITE; ++col) {
    for (int i = 0; i < board.count[col]; ++i) {
      if ((board.state[col][i] & STONE_COLOR_BIT) != static_cast<uint32_t>(col)) {
        std::fprintf(stderr, "ThinkBoard : illegal stone state( %s%d ).\n", COLOR_NAME[col], i);
        return false;
      }
    }
  }
  return true;
}

bool ExamFreeGuard(const ThinkBoard& board) {
  if (board.getTurn() < 13) return true;
  for (int col = BLACK; col <= WHITE; ++col) {
    for (int i = board.in_house[col]; i < board.count[col]; ++i) {
      if (!isInPlayArea(FX_TEE, board.stones[col][i].y)) return false;
    }
  }
  return true;
}

bool Exam(const ThinkBoard& board, int /*changed*/) {
  KELP_CHECK_TEXT(ExamFreeGuard(board), "ExamFreeGuard(board)");
  KELP_CHECK_TEXT(ExamStoneNumber(BLACK, board.getTurn(), board),
                  "ExamStoneNumber(BLACK, board.getTurn(), board)");
  KELP_CHECK_TEXT(ExamStoneNumber(WHITE, board.getTurn(), board),
                  "ExamStoneNumber(WHITE, board.getTurn(), board)");
  KELP_CHECK_TEXT(ExamStoneState(board), "ExamStoneState(board)");
  return true;
}

}  // namespace Kelp
