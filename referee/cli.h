// The referee's command line: options into a match configuration, the match
// run, and the exit status (0 clean, 1 engine faults, 2 usage).
#pragma once

#include <functional>
#include <ostream>

#include "referee/series.h"

namespace Kelp::Referee {

// Plays the games a series still needs somewhere other than this process's
// own threads (over MPI ranks), counting them into `series`.
using SeriesRunner = std::function<SeriesResult(Series& series, const SeriesConfig& config)>;

// `runner` empty: a series plays in this process (Series::run).
int refereeMain(int argc, char** argv, std::ostream& out, std::ostream& err,
                const SeriesRunner& runner = {});

}  // namespace Kelp::Referee
