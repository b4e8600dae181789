#include "referee/record.h"

#include <cstdio>

namespace Kelp::Referee {

const char* statusName(ReplyStatus status) {
  switch (status) {
    case ReplyStatus::Ok:
      return "ok";
    case ReplyStatus::Late:
      return "late";
    case ReplyStatus::Malformed:
      return "malformed";
    case ReplyStatus::Dead:
      return "dead";
  }
  return "?";
}

nlohmann::json toJson(const ThrowRecord& r) {
  using nlohmann::json;
  json j;
  j["end"] = r.end;
  j["shot"] = r.shot;
  j["engine"] = SIDE_NAME[r.side];
  j["color"] = r.color;
  j["reply"] = r.reply ? json(*r.reply) : json(nullptr);
  j["status"] = statusName(r.status);
  if (r.thrown) {
    j["thrown"] = {{"vx", r.thrown->vx}, {"vy", r.thrown->vy}, {"spin", r.thrown->spin}};
  } else {
    j["thrown"] = nullptr;
  }
  j["error"] = {{"vx", r.error.vx}, {"vy", r.error.vy}};
  j["foul"] = r.foul;
  // Board frame: tee at the origin, y toward the back line; null for a stone
  // not (or no longer) in play.
  json stones = json::array();
  for (const Stone& s : r.after) {
    stones.push_back(s.inPlay ? json::array({s.x, s.y}) : json(nullptr));
  }
  j["stones"] = stones;
  if (r.endScore) {
    j["end_score"] = {
        {"engine", r.endScore->side < 0 ? json(nullptr) : json(SIDE_NAME[r.endScore->side])},
        {"points", r.endScore->points}};
  }
  return j;
}

bool RecordWriter::open(const std::string& path) {
  path_ = path;
  out_.open(path + ".part", std::ios::out | std::ios::trunc);
  return static_cast<bool>(out_);
}

void RecordWriter::write(const ThrowRecord& record) {
  // One object per line, flushed, so a referee killed outright still leaves
  // every throw so far in the .part file. A reply is whatever bytes the
  // engine sent: bytes that are not UTF-8 are written as U+FFFD, so that
  // the line stays JSON (and the referee does not stop on them).
  out_ << toJson(record).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n'
       << std::flush;
}

bool RecordWriter::close() {
  if (!out_.is_open()) return false;
  out_.close();
  return !out_.fail() && std::rename((path_ + ".part").c_str(), path_.c_str()) == 0;
}

}  // namespace Kelp::Referee
