// A match series spread over MPI ranks, one machine or many. Rank 0 keeps
// the series: it hands out pairs of games to the ranks (itself included) as
// they have a free slot, receives each finished game's result and folder,
// counts the results in game order and runs the SPRT exactly as a single
// process does, and tells every rank to stop when the series is decided or
// played out. The other ranks only play: they get the settings from rank 0
// (so they need no access to the series folder), play up to `concurrency`
// games at once in a scratch folder and send each game's folder back as
// files. Built only when MPI is found.
#pragma once

#include <ostream>

namespace Kelp::Referee {

// Whether an MPI launcher (mpirun/mpiexec, or srun with PMI/PMIx) started
// this process. A program started by hand never touches MPI.
bool launchedByMpi();

// kelp-referee's main: under an MPI launcher with more than one rank, rank 0
// runs refereeMain with its series spread over the ranks and the others
// serve it; otherwise refereeMain as it is.
int mpiMain(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace Kelp::Referee
