// kelp: a curling player that a match server runs as a child process and
// talks to over standard input and output. Takes no arguments.
#include "driver/command.h"
#include "driver/command_table.h"
#include "driver/io.h"
#include "kelpsimulator/field.h"
#include "kelpsimulator/trajectory.h"

int main() {
  // The server may close our output before we are done: end quietly then.
  Kelp::ignoreBrokenPipe();

  Kelp::ClientField field;

  // Every simulated throw reads the trajectory tables: build them (three
  // threads, joined before returning) before the first message is read.
  Kelp::buildTables();

  return Kelp::runCommandLoop(Kelp::COMMAND_TABLE, field);
}
