// kelp: a curling player that a match server runs as a child process and
// talks to over standard input and output. Takes no arguments.
#include "driver/command.h"
#include "driver/command_table.h"
#include "driver/io.h"
#include "kelpsimulator/field.h"

int main() {
  // The server may close our output before we are done: end quietly then.
  Kelp::ignoreBrokenPipe();

  Kelp::ClientField field;

  // ---- Trajectory tables: Kelp::buildTables() goes here, before the first
  // ---- read (it joins its builder threads before returning).

  return Kelp::runCommandLoop(Kelp::COMMAND_TABLE, field);
}
