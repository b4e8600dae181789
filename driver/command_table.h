// The process-wide table of protocol commands, filled during static
// initialisation and read-only afterwards.
#pragma once

#include "driver/command.h"

namespace Kelp {

extern const CommandTable COMMAND_TABLE;

}  // namespace Kelp
