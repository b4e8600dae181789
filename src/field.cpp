#include "kelpsimulator/field.h"

#include <cstdlib>

#include "kelpsimulator/check.h"
#include "kelpsimulator/primitive.h"

namespace Kelp {

void ClientField::clearCounters() {
  counter_a[0] = counter_a[1] = 0;
  counter_b[0] = counter_b[1] = 0;
  counter_c[0] = counter_c[1] = 0;
}

void ClientField::setState(int32_t shot_, int32_t end_, int32_t last_end_, int32_t col) {
  KELP_CHECK(examColor(col));
  shot = shot_;
  end = end_;
  last_end = last_end_;
  color = static_cast<uint32_t>(col);
  my_color = static_cast<uint32_t>(col);
}

void ClientField::setPosition(int k, float x, float y) {
  KELP_CHECK(0 <= k && k < 16);
  position[k].x = x;
  position[k].y = y;
}

void ClientField::addScore(int32_t s) {
  // Compared unsigned, so a negative end fails too.
  KELP_CHECK_TEXT(static_cast<uint32_t>(end) < 16u, "0<=end && end<16");
  if (s != 0) {
    rel_score += s;
    const int32_t a = std::abs(s);
    if (s > 0) {
      end_score[end][0] = a;
      end_score[end][1] = 0;
      score[0] += a;
    } else {
      end_score[end][1] = a;
      end_score[end][0] = 0;
      score[1] += a;
    }
  }
  KELP_CHECK_TEXT(rel_score == score[0] - score[1], "rel_score==score[0]-score[1]");
}

}  // namespace Kelp
