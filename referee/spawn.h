// Starting a child process: the one place where the referee, the test
// harness and the start-up benchmark create processes, so that all of them
// give the child the same clean start (no signal blocked, SIGPIPE at its
// default action, only the three standard descriptors inherited).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace Kelp::Referee {

struct SpawnOptions {
  // The child's working directory; empty: the caller's.
  std::string workDir;
  // A process group of its own (its id is the child's pid), so that the
  // child can be ended together with everything it starts, and a terminal's
  // Ctrl-C reaches only the caller.
  bool ownProcessGroup = false;
  // Standard input, output and error on new pipes. Without them the child
  // reads from and writes to /dev/null and shares the caller's standard error.
  bool pipes = true;
};

// The caller's ends of the child's pipes (all -1 without pipes). They are
// close-on-exec, so that no other child inherits them.
struct Spawned {
  pid_t pid = -1;
  int in = -1;   // write end of the child's standard input
  int out = -1;  // read end of its standard output
  int err = -1;  // read end of its standard error
};

// Starts argv[0] (looked up on PATH when it has no slash) with argv[1..] as
// its arguments. Empty, with the reason in `error`, when the pipes could not
// be made or the program could not be started; then no child is left and no
// descriptor is open.
std::optional<Spawned> spawnProcess(const std::vector<std::string>& argv,
                                    const SpawnOptions& options, std::string& error);

}  // namespace Kelp::Referee
