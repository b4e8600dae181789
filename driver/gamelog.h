// The per-game log: ISREADY makes a directory named by player and time below
// the working directory and opens an (empty) shot.txt there; GAMEOVER closes
// it. Also the formatted error texts of the driver's file operations.
#pragma once

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

namespace Kelp {

// The open log file of the current game, or nullptr.
extern std::FILE* ShotLogFile;

// Opens path with the stdio mode. On failure raises fmt::system_error with
// the message "cannot open file '<path>': <system text>".
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// "%d-%d-%d-%d-%d": year, month counted from 0, day, hour, minute (local time).
std::string logTimeStamp(std::time_t now);

// working directory / (name + "_log") / time stamp.
std::filesystem::path gameLogDirectory(const std::string& name, std::time_t now);

// Creates the log directory of a new game and opens shot.txt in it. When the
// directory exists already (a second ISREADY in the same minute) nothing is
// created or opened. Errors (file system, open) are raised to the caller.
void OpenGameLog(const std::string& name);

// Closes the log file: false when there was none. A failed close is reported
// on standard error as "err close <system text>".
bool CloseGameLog();

}  // namespace Kelp
