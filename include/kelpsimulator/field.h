// The game record the protocol driver keeps for the whole match, exactly as
// the server sent it: stone positions in the record frame, shot, end, colour
// and the scores of the ends played so far. It never converts or interprets
// positions; the think board does that.
#pragma once

#include <cstdint>

namespace Kelp {

class ClientField {
 public:
  // Per-player counters: cleared by NEWGAME, ISREADY and GAMEOVER; nothing
  // else reads them.
  uint32_t counter_a[2] = {0, 0};
  int64_t counter_b[2] = {0, 0};
  uint32_t counter_c[2] = {0, 0};

  // Colour the server assigned to this player (BLACK 0, WHITE 1), held twice;
  // the two members are always written together.
  uint32_t color = 0;
  uint32_t my_color = 0;

  // end_score[e][p]: points of player p in end e. Player 0 is the side whose
  // points the server reports as positive numbers in SCORE.
  int32_t end_score[16][2] = {};
  int32_t score[2] = {0, 0};
  int32_t rel_score = 0;  // score[0] - score[1]

  int32_t end = 0;       // current end, 0-based, valid 0..15
  int32_t last_end = 0;  // end bound from SETSTATE
  int32_t shot = 0;      // stones already thrown in this end, 0..15

  // position[k]: the stone thrown as shot k of the end, record frame.
  struct Position {
    float x = 0.0f;
    float y = 0.0f;
  };
  Position position[16] = {};

  void clearCounters();

  // SETSTATE: stores shot, end and last_end; col must satisfy examColor(col).
  void setState(int32_t shot_, int32_t end_, int32_t last_end_, int32_t col);
  // POSITION: position[k] = (x, y), unconverted.
  void setPosition(int k, float x, float y);
  // SCORE: records the score of the end that has just finished (end still
  // holds its index). Checks "0<=end && end<16" and
  // "rel_score==score[0]-score[1]".
  void addScore(int32_t s);
};

}  // namespace Kelp
