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

namespace {

bool isInt(const nlohmann::json& j, const char* key, int lo, int hi) {
  return j.contains(key) && j[key].is_number_integer() && j[key].get<int64_t>() >= lo &&
         j[key].get<int64_t>() <= hi;
}

bool isNumber(const nlohmann::json& j, const char* key) {
  return j.contains(key) && j[key].is_number();
}

int sideOf(const nlohmann::json& name) {
  for (int s = SIDE_A; s <= SIDE_B; ++s) {
    if (name == SIDE_NAME[s]) return s;
  }
  return -1;
}

}  // namespace

std::optional<ThrowRecord> throwFromJson(const nlohmann::json& j, std::string& why) {
  auto fail = [&](const char* text) -> std::optional<ThrowRecord> {
    why = text;
    return std::nullopt;
  };
  if (!j.is_object()) return fail("not a JSON object");
  ThrowRecord r;
  if (!isInt(j, "end", 0, 1 << 20)) return fail("no end number");
  if (!isInt(j, "shot", 0, SHOTS_PER_END - 1)) return fail("no shot number 0..15");
  if (!isInt(j, "color", 0, 1)) return fail("no colour 0 or 1");
  r.end = j["end"].get<int>();
  r.shot = j["shot"].get<int>();
  r.color = j["color"].get<int>();
  r.side = j.contains("engine") ? sideOf(j["engine"]) : -1;
  if (r.side < 0) return fail("no engine A or B");
  bool known = false;
  for (ReplyStatus st :
       {ReplyStatus::Ok, ReplyStatus::Late, ReplyStatus::Malformed, ReplyStatus::Dead}) {
    if (j.contains("status") && j["status"] == statusName(st)) {
      r.status = st;
      known = true;
    }
  }
  if (!known) return fail("no known status");
  if (!j.contains("reply") || !(j["reply"].is_null() || j["reply"].is_string())) {
    return fail("reply neither text nor null");
  }
  if (j["reply"].is_string()) r.reply = j["reply"].get<std::string>();
  if (!j.contains("thrown")) return fail("no thrown shot");
  const nlohmann::json& t = j["thrown"];
  if (!t.is_null()) {
    if (!t.is_object() || !isNumber(t, "vx") || !isNumber(t, "vy") || !isInt(t, "spin", 0, 1)) {
      return fail("thrown is not a shot");
    }
    r.thrown = ShotVector{t["vx"].get<double>(), t["vy"].get<double>(), t["spin"].get<int>()};
  }
  if (!j.contains("error") || !j["error"].is_object() || !isNumber(j["error"], "vx") ||
      !isNumber(j["error"], "vy")) {
    return fail("no execution error");
  }
  r.error = {j["error"]["vx"].get<double>(), j["error"]["vy"].get<double>()};
  if (!j.contains("foul") || !j["foul"].is_boolean()) return fail("no foul flag");
  r.foul = j["foul"].get<bool>();
  if (!j.contains("stones") || !j["stones"].is_array() || j["stones"].size() != SHOTS_PER_END) {
    return fail("stones is not a list of 16");
  }
  for (int k = 0; k < SHOTS_PER_END; ++k) {
    const nlohmann::json& s = j["stones"][k];
    if (s.is_null()) continue;
    if (!s.is_array() || s.size() != 2 || !s[0].is_number() || !s[1].is_number()) {
      return fail("a stone is neither null nor [x, y]");
    }
    r.after[k] = Stone{true, s[0].get<double>(), s[1].get<double>()};
  }
  if (j.contains("end_score")) {
    const nlohmann::json& e = j["end_score"];
    if (!e.is_object() || !e.contains("engine") || !isInt(e, "points", 0, 8)) {
      return fail("end_score is not a score");
    }
    EndScore score;
    score.points = e["points"].get<int>();
    score.side = e["engine"].is_null() ? -1 : sideOf(e["engine"]);
    if (score.side < 0 && !e["engine"].is_null()) return fail("end_score names no engine");
    r.endScore = score;
  }
  return r;
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
