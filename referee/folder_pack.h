// A folder as one byte string and back: how a game's folder (record,
// pictures, engine logs) travels from the process that played it to the one
// that keeps the series, with no file system shared between them.
#pragma once

#include <optional>
#include <string>

namespace Kelp::Referee {

// Every regular file and folder under `dir`, with paths relative to it.
// Nothing, with a reason, when a file cannot be read.
std::optional<std::string> packFolder(const std::string& dir, std::string& why);

// Writes a packed folder out as `dir` (replacing whatever was there). Paths
// that would leave `dir` (absolute, or with "..") make it refuse the lot.
bool unpackFolder(const std::string& packed, const std::string& dir, std::string& why);

}  // namespace Kelp::Referee
