// The referee's command line: options into a match configuration, the match
// run, and the exit status (0 clean, 1 engine faults, 2 usage).
#pragma once

#include <ostream>

namespace Kelp::Referee {

int refereeMain(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace Kelp::Referee
