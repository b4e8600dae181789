// kelp-referee: a local match between two engine commands.
#include <iostream>

#include "referee/cli.h"

int main(int argc, char** argv) {
  return Kelp::Referee::refereeMain(argc, argv, std::cout, std::cerr);
}
