// kelp.read_record and kelp.write_record: the referee's record.jsonl, one
// throw a line, read into boards and throws, and written back so that the
// referee's reader takes it.
#include "referee/record.h"

#include <pybind11/stl.h>

#include <fstream>
#include <string>

#include "python/bindings.h"

namespace KelpPy {

namespace {

namespace R = Kelp::Referee;

Board boardOf(const R::Sheet& sheet, int shot, int end) {
  double xy[SLOTS][2];
  for (int k = 0; k < SLOTS; ++k) {
    xy[k][0] = sheet[k].inPlay ? sheet[k].x : OUT_X;
    xy[k][1] = sheet[k].inPlay ? sheet[k].y : OUT_Y;
  }
  return makeBoard(xy, shot, end, std::max(DEFAULT_ENDS, end + 1), 0);
}

py::dict entryOf(const R::ThrowRecord& r, const R::Sheet& before, int line) {
  py::dict d;
  d["end"] = r.end;
  d["shot"] = r.shot;
  d["engine"] = R::SIDE_NAME[r.side];
  d["color"] = r.color;
  d["status"] = R::statusName(r.status);
  d["reply"] = r.reply ? py::object(py::str(*r.reply)) : py::object(py::none());
  d["thrown"] = r.thrown ? py::object(shotToPython(*r.thrown)) : py::object(py::none());
  d["error"] = py::make_tuple(r.error.vx, -r.error.vy);
  d["foul"] = r.foul;
  try {
    d["before"] = boardOf(before, r.shot, r.end);
    d["after"] = boardOf(r.after, r.shot + 1, r.end);
  } catch (const BadInput& e) {
    throw BadInput{"line " + std::to_string(line) + ": " + e.what};
  }
  if (r.endScore) {
    py::dict s;
    s["engine"] = r.endScore->side < 0 ? py::object(py::none())
                                       : py::object(py::str(R::SIDE_NAME[r.endScore->side]));
    s["points"] = r.endScore->points;
    d["end_score"] = s;
  } else {
    d["end_score"] = py::none();
  }
  return d;
}

py::list readRecord(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw py::value_error("cannot open " + path);
  py::list out;
  std::string text;
  R::Sheet before{};
  int line = 0;
  while (std::getline(in, text)) {
    ++line;
    if (text.empty()) continue;
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    std::string why;
    const std::optional<R::ThrowRecord> r =
        j.is_discarded() ? std::nullopt : R::throwFromJson(j, why);
    if (!r) {
      throw BadInput{path + ":" + std::to_string(line) + ": not a throw record" +
                     (why.empty() ? std::string(" (not JSON)") : ": " + why)};
    }
    if (r->shot == 0) before = R::Sheet{};
    out.append(entryOf(*r, before, line));
    before = r->after;
  }
  return out;
}

template <class T>
T field(const py::dict& d, const char* key, int index) {
  if (!d.contains(key)) {
    throw BadInput{"throw " + std::to_string(index) + ": no '" + key + "'"};
  }
  try {
    return d[key].cast<T>();
  } catch (const py::cast_error&) {
    throw py::type_error("throw " + std::to_string(index) + ": '" + key + "' has the wrong type");
  }
}

R::ThrowRecord recordOf(const py::dict& d, int index) {
  R::ThrowRecord r;
  r.end = field<int>(d, "end", index);
  r.shot = field<int>(d, "shot", index);
  r.color = field<int>(d, "color", index);
  const std::string engine = field<std::string>(d, "engine", index);
  const std::string status = d.contains("status") ? field<std::string>(d, "status", index) : "ok";
  const std::string at = "throw " + std::to_string(index) + ": ";
  if (r.end < 0 || r.end >= 16 || r.shot < 0 || r.shot >= SLOTS || (r.color != 0 && r.color != 1)) {
    throw BadInput{at + "end, shot or color out of range"};
  }
  if (engine != "A" && engine != "B") throw BadInput{at + "engine is not 'A' or 'B'"};
  r.side = engine == "A" ? R::SIDE_A : R::SIDE_B;
  bool known = false;
  for (R::ReplyStatus st : {R::ReplyStatus::Ok, R::ReplyStatus::Late, R::ReplyStatus::Malformed,
                            R::ReplyStatus::Dead}) {
    if (status == R::statusName(st)) {
      r.status = st;
      known = true;
    }
  }
  if (!known) throw BadInput{at + "status '" + status + "' is unknown"};
  if (d.contains("reply") && !d["reply"].is_none()) r.reply = field<std::string>(d, "reply", index);
  if (d.contains("thrown") && !d["thrown"].is_none()) {
    r.thrown = shotFromPython(d["thrown"]);
  }
  if (d.contains("error") && !d["error"].is_none()) {
    // An error is checked as a shot without spin would be.
    const auto e = field<std::pair<double, double>>(d, "error", index);
    const Kelp::ShotVector v = checkShot(e.first, e.second, 0, true);
    r.error = {v.vx, v.vy};
  }
  r.foul = d.contains("foul") ? field<bool>(d, "foul", index) : false;
  const Board& after = field<const Board&>(d, "after", index);
  for (int k = 0; k < SLOTS; ++k) {
    if (after.inPlay(k)) r.after[k] = R::Stone{true, after.xy[k][0], after.xy[k][1]};
  }
  if (d.contains("end_score") && !d["end_score"].is_none()) {
    const py::dict s = field<py::dict>(d, "end_score", index);
    R::EndScore e;
    e.points = field<int>(s, "points", index);
    const py::object who = s.contains("engine") ? py::object(s["engine"]) : py::none();
    if (who.is_none()) {
      e.side = -1;
    } else {
      const std::string w = who.cast<std::string>();
      if (w != "A" && w != "B") throw BadInput{at + "end_score engine is not 'A' or 'B'"};
      e.side = w == "A" ? R::SIDE_A : R::SIDE_B;
    }
    if (e.points < 0 || e.points > 8) throw BadInput{at + "end_score points not in 0..8"};
    r.endScore = e;
  }
  return r;
}

void writeRecord(const std::string& path, const py::iterable& throws) {
  std::vector<R::ThrowRecord> records;
  int index = 0;
  for (const py::handle& h : throws) {
    if (!py::isinstance<py::dict>(h)) throw py::type_error("each throw is a dict");
    records.push_back(recordOf(py::reinterpret_borrow<py::dict>(h), index++));
  }
  R::RecordWriter writer;
  if (!writer.open(path)) throw py::value_error("cannot create " + path);
  for (const R::ThrowRecord& r : records) writer.write(r);
  if (!writer.close()) throw py::value_error("cannot write " + path);
}

}  // namespace

void bindRecord(py::module_& m) {
  m.def("read_record", &readRecord, py::arg("path"), R"doc(
Reads a referee record.jsonl: a list of dicts, one per throw, with end, shot,
engine ("A" or "B"), color, status, reply, thrown (the shot with its error,
server frame, or None for a lost turn), error, foul, before and after (the
kelp.Board before and after the throw, stones by slot) and end_score (on an
end's last throw: engine, points).)doc");
  m.def("write_record", &writeRecord, py::arg("path"), py::arg("throws"), R"doc(
Writes throws (dicts as read_record gives them; before is not needed) as a
record.jsonl the referee reads. The file appears whole or not at all.)doc");
}

}  // namespace KelpPy
