// An orderly stop on SIGINT, SIGTERM or SIGHUP: the first signal only sets a
// flag that matches and series read between steps (no new game starts,
// running games end their engines, the results so far are written); a
// second signal kills every engine's process group at once and exits.
#pragma once

#include <sys/types.h>

namespace Kelp::Referee {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP (the program does,
// not the library).
void installStopHandlers();

// Whether a stop was asked, by a signal or by requestStop().
bool stopRequested();
// The signal that asked for the stop; 0 when none did.
int stopSignal();
// Asks for a stop as a signal would, for callers that learn of it otherwise.
void requestStop(int signal = 0);

// Engine process groups that a second signal kills. Registering fails
// silently past a fixed number of groups (those are still ended in order
// by their owners).
void registerEngineGroup(pid_t group);
void unregisterEngineGroup(pid_t group);

}  // namespace Kelp::Referee
