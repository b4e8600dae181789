// The game record: one JSON object per throw in DIR/record.jsonl, enough to
// review a match stone by stone. It holds no wall-clock times, so a replay
// with the same seed and the same replies writes the same file.
#pragma once

#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "kelpsimulator/shot.h"
#include "referee/rules.h"

namespace Kelp::Referee {

// What became of an engine's turn.
enum class ReplyStatus { Ok, Late, Malformed, Dead };
const char* statusName(ReplyStatus status);

struct ThrowRecord {
  int end = 0;
  int shot = 0;
  int side = SIDE_A;  // the engine that threw
  int color = 0;      // its colour in this end
  ReplyStatus status = ReplyStatus::Ok;
  std::optional<std::string> reply;  // the reply as sent; none when nothing came
  // Board frame, error added; none when the turn was lost to a fault.
  std::optional<ShotVector> thrown;
  Velocity error{0.0, 0.0};          // the execution error drawn for this throw
  bool foul = false;                 // free-guard-zone foul: stones restored
  Sheet after;                       // every stone at rest after the throw
  std::optional<EndScore> endScore;  // on the last throw of an end
};

nlohmann::json toJson(const ThrowRecord& record);
// A line of record.jsonl read back; nothing, with the reason in why, when it
// is not one that toJson could have written.
std::optional<ThrowRecord> throwFromJson(const nlohmann::json& line, std::string& why);

// Writes the record under a temporary name (path + ".part") and renames it
// to `path` when the match ends, so that record.jsonl is always whole.
class RecordWriter {
 public:
  // False when the file cannot be created.
  bool open(const std::string& path);
  void write(const ThrowRecord& record);
  // Gives the record its name. False when it could not be written.
  bool close();

 private:
  std::string path_;
  std::ofstream out_;
};

}  // namespace Kelp::Referee
