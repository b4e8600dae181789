// kelp-referee: a local match between two engine commands, or a series of
// them, on this machine or spread over MPI ranks.
#include <iostream>

#include "referee/cli.h"
#ifdef KELP_MPI
#include "referee/distributed.h"
#endif

int main(int argc, char** argv) {
#ifdef KELP_MPI
  return Kelp::Referee::mpiMain(argc, argv, std::cout, std::cerr);
#else
  return Kelp::Referee::refereeMain(argc, argv, std::cout, std::cerr);
#endif
}
