#include "driver/experiment.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>

#include "driver/record_commands.h"
#include "kelpsimulator/random.h"
#include "kelpsimulator/shot.h"
#include "player/curling.h"

namespace Kelp {
namespace {

int64_t tickMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void makeExperimentSlots(ExperimentSlot slots[2], int time_limit_ms) {
  slots[0] = {std::make_shared<PrimitiveR>(100, time_limit_ms, 0.25), "improve"};
  slots[1] = {std::make_shared<Pebble_original>(time_limit_ms, 0.25), "original"};
}

ExperimentTotals playExperiment(int games, int ends, const ExperimentSlot slots[2],
                                const ExperimentOutputs& out, uint32_t (*seedForGame)()) {
  ExperimentTotals totals;
  // Entry e holds end e's score from slot 0's point of view. Ten entries for
  // up to ten ends; a longer game grows the table by one entry per end
  // played, so no end goes unsummed (and a huge count allocates nothing up
  // front).
  std::vector<int32_t> endScores;
  for (int game = 0; game < games; ++game) {
    DsfmtEngine engine(seedForGame());
    out.console << "Name : Count : Size : ShotNum : Pow : Type : Rate : win : playout : time"
                << std::endl;
    CurlingGameState board;
    EndOrder order;
    endScores.assign(10, 0);
    for (int e = 0; e < ends; ++e) {
      int slot = order.first;
      for (int throwIndex = 0; throwIndex < 16; ++throwIndex) {
        const int64_t t0 = tickMs();
        const ThinkResult result = slots[slot].player->Think(CurlingGameState(board));
        const int64_t t1 = tickMs();
        const Move& move = std::get<0>(result);
        const int shotNum = 16 - board.getTurn();
        auto writeLine = [&](std::ostream& os, int64_t elapsed) {
          os << slots[slot].name << ',' << std::get<1>(result) << ',' << std::get<2>(result) << ','
             << shotNum << ',' << move.move_state.label << ',' << move.uct_state.mean << ','
             << move.uct_state.sum << ',' << move.uct_state.playouts << ',' << elapsed << std::endl;
        };
        writeLine(out.console, t1 - t0);
        const int64_t t2 = tickMs();
        writeLine(out.shots, t2 - t0);
        // The player answers in the record frame; the board throws in its own.
        const ShotVector shot{move.move_state.vx, -move.move_state.vy, move.move_state.spin};
        board.executeShot(shot, engine);
        slot = 1 - slot;
      }
      const int32_t s = order.slotZeroScore(board.countScore());
      if (e < static_cast<int>(endScores.size())) {
        endScores[e] = s;
      } else {
        endScores.push_back(s);
      }
      board.clear();
      order.afterEnd(s);
    }
    int64_t sum = 0;
    for (int32_t s : endScores) sum += s;
    if (sum > 0) {
      ++totals.wins[0];
    } else if (sum < 0) {
      ++totals.wins[1];
    } else {
      ++totals.draws;
    }
    for (int32_t s : endScores) out.results << s << ',';
    out.results << std::endl;
  }
  return totals;
}

bool RunExperiment(const std::vector<std::string>& tokens, ClientField&) {
  return runExperiment(
      tokens, {".", std::cout, [](ExperimentSlot slots[2]) { makeExperimentSlots(slots, 1000); },
               &timeSeed});
}

bool runExperiment(const std::vector<std::string>& tokens, const ExperimentSetup& setup) {
  if (tokens.size() > 4) return false;
  std::ostream& console = setup.console;
  // The results exist nowhere else: a file that cannot be created stops the
  // command before any game is played.
  std::ofstream files[3];
  const char* names[3] = {"shot.txt", "result.txt", "aggregate.txt"};
  for (int i = 0; i < 3; ++i) {
    errno = 0;
    files[i].open(setup.folder / names[i]);
    if (!files[i]) {
      console << tokens[0] << ": cannot create " << names[i] << ": "
              << (errno != 0 ? std::strerror(errno) : "unknown error") << std::endl;
      return false;
    }
  }
  std::ofstream& shots = files[0];
  std::ofstream& results = files[1];
  std::ofstream& aggregate = files[2];

  int games = 1;
  int ends = 10;
  if (tokens.size() >= 3) {
    // The files are there (emptied) already; a count that is no number
    // plays nothing, reported as the record commands report their numbers.
    const std::optional<int32_t> g = toInt(tokens[1]);
    const std::optional<int32_t> e = tokens.size() == 4 ? toInt(tokens[2]) : std::optional(10);
    if (!g || !e) {
      console << "error number," << tokens[0] << "," << printable(g ? tokens[2] : tokens[1])
              << std::endl;
      return false;
    }
    games = *g;
    ends = *e;
  }

  ExperimentSlot slots[2];
  setup.makeSlots(slots);
  const ExperimentTotals totals =
      playExperiment(games, ends, slots, {console, shots, results}, setup.seedForGame);

  console << slots[0].name << "win " << totals.wins[0] << std::endl;
  console << slots[1].name << "win " << totals.wins[1] << std::endl;
  console << "draw num " << totals.draws << std::endl;
  aggregate << totals.wins[0] << ',' << totals.wins[1] << ',' << totals.draws << std::endl;
  console << "Run Command End" << std::endl;
  return false;
}

}  // namespace Kelp
