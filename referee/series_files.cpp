#include "referee/series_files.h"

#include <fmt/format.h>

#include <filesystem>
#include <stdexcept>

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int SETTINGS_VERSION = 1;

// A field list is a function template over a visitor: the writer puts each
// field into a JSON object, the reader takes it out (throwing on a missing
// or mistyped field), so the two directions cannot disagree on a name or a
// type. Fields with their own JSON form come with a pair of converters.
struct Writer {
  json& out;
  template <class T>
  void field(const char* name, const T& value) {
    out[name] = value;
  }
  template <class T, class Codec>
  void field(const char* name, const T& value, Codec codec) {
    out[name] = codec.write(value);
  }
};

struct Reader {
  const json& in;
  template <class T>
  void field(const char* name, T& value) {
    value = in.at(name).get<T>();
  }
  template <class T, class Codec>
  void field(const char* name, T& value, Codec codec) {
    value = codec.read(in.at(name));
  }
};

int sideOf(const json& j) {
  if (j.is_null()) return -1;
  const std::string s = j.get<std::string>();
  if (s == "A") return SIDE_A;
  if (s == "B") return SIDE_B;
  throw std::invalid_argument("bad side " + s);
}

struct EndsCodec {
  json write(const std::vector<EndScore>& ends) const {
    json out = json::array();
    for (const EndScore& e : ends) {
      out.push_back(
          {{"side", e.side < 0 ? json(nullptr) : json(SIDE_NAME[e.side])}, {"points", e.points}});
    }
    return out;
  }
  std::vector<EndScore> read(const json& j) const {
    std::vector<EndScore> ends;
    for (const json& e : j) ends.push_back({sideOf(e.at("side")), e.at("points").get<int>()});
    return ends;
  }
};

struct ResultCodec {
  json write(int result) const { return result > 0 ? "win" : result < 0 ? "loss" : "draw"; }
  int read(const json& j) const {
    const std::string r = j.get<std::string>();
    if (r != "win" && r != "loss" && r != "draw") throw std::invalid_argument("bad result " + r);
    return r == "win" ? 1 : r == "loss" ? -1 : 0;
  }
};

struct ForfeitCodec {
  json write(int forfeit) const {
    if (forfeit == FORFEIT_NONE) return nullptr;
    return forfeit == FORFEIT_BOTH ? "both" : SIDE_NAME[forfeit];
  }
  int read(const json& j) const {
    return j.is_null() ? FORFEIT_NONE : j == "both" ? FORFEIT_BOTH : sideOf(j);
  }
};

struct SprtCodec {
  json write(const std::optional<SprtSettings>& s) const {
    if (!s) return nullptr;
    return {{"elo0", s->elo0}, {"elo1", s->elo1}, {"alpha", s->alpha}, {"beta", s->beta}};
  }
  std::optional<SprtSettings> read(const json& t) const {
    if (t.is_null()) return std::nullopt;
    SprtSettings s{t.at("elo0").get<double>(), t.at("elo1").get<double>(),
                   t.at("alpha").get<double>(), t.at("beta").get<double>()};
    if (auto bad = sprtSettingsError(s)) throw std::invalid_argument(*bad);
    return s;
  }
};

template <class Visitor, class Game>
void gameFields(Visitor&& v, Game& g) {
  v.field("game", g.number);
  v.field("seed", g.seed);
  v.field("a_first", g.aFirst);
  v.field("ends", g.ends, EndsCodec{});
  v.field("total_a", g.total[0]);
  v.field("total_b", g.total[1]);
  v.field("result", g.result, ResultCodec{});
  v.field("forfeit", g.forfeit, ForfeitCodec{});
  v.field("faults_a", g.faults[0]);
  v.field("faults_b", g.faults[1]);
}

// Everything of settings.json but its version and the folder it was
// started in, which only the writer knows and only the reader uses.
template <class Visitor, class Config>
void settingsFields(Visitor&& v, Config& c) {
  v.field("engine_a", c.match.commands[0]);
  v.field("engine_b", c.match.commands[1]);
  v.field("name_a", c.match.names[0]);
  v.field("name_b", c.match.names[1]);
  v.field("out", c.match.outDir);
  v.field("games", c.games);
  v.field("concurrency", c.concurrency);
  v.field("seed", c.seed);
  v.field("ends", c.match.ends);
  v.field("timeout", c.match.timeout);
  v.field("ready_timeout", c.match.readyTimeout);
  v.field("throws", c.match.maxThrows);
  v.field("pictures", c.match.pictures);
  v.field("exit_grace", c.match.exitGrace);
  v.field("estimate_every", c.estimateEvery);
  v.field("sprt", c.sprt, SprtCodec{});
}

// A relative program path (one with a slash) is taken from the folder the
// series was started in, wherever it is continued from.
void anchorProgram(std::vector<std::string>& words, const std::string& startDir) {
  if (words.empty() || startDir.empty()) return;
  const fs::path program = words[0];
  if (program.is_absolute() || words[0].find('/') == std::string::npos) return;
  std::error_code ec;
  if (fs::equivalent(fs::current_path(ec), startDir, ec)) return;
  words[0] = (fs::path(startDir) / program).lexically_normal().string();
}

json optionalJson(const std::optional<double>& v) {
  return v ? json(*v) : json(nullptr);
}

}  // namespace

json settingsJson(const SeriesConfig& config) {
  json out = json::object();
  settingsFields(Writer{out}, config);
  std::error_code ec;
  out["version"] = SETTINGS_VERSION;
  out["started_in"] = fs::current_path(ec).string();
  return out;
}

std::optional<SeriesConfig> settingsFromJson(const json& s, std::string& why) {
  try {
    if (s.at("version").get<int>() != SETTINGS_VERSION) {
      why = "settings of an unknown version";
      return std::nullopt;
    }
    const std::string startDir = s.at("started_in").get<std::string>();
    SeriesConfig c;
    settingsFields(Reader{s}, c);
    for (auto& words : c.match.commands) {
      if (words.empty()) throw std::invalid_argument("an empty engine command");
      anchorProgram(words, startDir);
    }
    if (c.games < 1 || c.games > 100000 || c.concurrency < 1 || c.concurrency > 64 ||
        c.match.ends < 1 || c.match.ends > 16 || !(c.match.timeout > 0) ||
        !(c.match.readyTimeout > 0) || !(c.match.exitGrace >= 0)) {
      throw std::invalid_argument("a value out of range");
    }
    return c;
  } catch (const std::exception& e) {
    why = fmt::format("unusable settings: {}", e.what());
    return std::nullopt;
  }
}

json gameJson(const GameResult& game) {
  json out = json::object();
  gameFields(Writer{out}, game);
  return out;
}

std::optional<GameResult> gameFromJson(const json& line) {
  try {
    GameResult g;
    gameFields(Reader{line}, g);
    return g;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

json seriesJson(const SeriesConfig& config, const SeriesResult& r) {
  json games = json::array();
  for (const GameResult& g : r.games) games.push_back(gameJson(g));
  const EloEstimate& e = r.estimate;
  const PairEloEstimate& p = r.pairEstimate;
  json out = {{"engine_a", config.match.commands[0]},
              {"engine_b", config.match.commands[1]},
              {"seed", config.seed},
              {"ends_per_game", config.match.ends},
              {"games_planned", config.games},
              {"games_played", r.games.size()},
              {"games", games},
              {"wins", e.counts.wins},
              {"draws", e.counts.draws},
              {"losses", e.counts.losses},
              {"score", optionalJson(e.score)},
              {"elo", optionalJson(e.elo)},
              {"elo_low", optionalJson(e.low)},
              {"elo_high", optionalJson(e.high)},
              {"pairs", p.counts.n},
              {"unpaired_games", r.games.size() - 2 * static_cast<size_t>(p.pairs())},
              {"pair_score", optionalJson(p.score)},
              {"elo_pair", optionalJson(p.elo)},
              {"elo_pair_low", optionalJson(p.low)},
              {"elo_pair_high", optionalJson(p.high)},
              {"ends_a", r.endsScored[0]},
              {"ends_b", r.endsScored[1]},
              {"points_a", r.points[0]},
              {"points_b", r.points[1]},
              {"forfeits", r.forfeitedGames},
              {"interrupted", r.interrupted},
              {"error", r.error.empty() ? json(nullptr) : json(r.error)}};
  if (config.sprt) {
    json t = SprtCodec{}.write(config.sprt);
    if (r.sprt) {
      // "decision" is the pair test's; "llr" stays the per-game figure.
      t["llr"] = r.sprtGames ? r.sprtGames->llr : r.sprt->llr;
      t["llr_pair"] = r.sprt->llr;
      t["lower"] = r.sprt->lower;
      t["upper"] = r.sprt->upper;
      t["decision"] = std::string(sprtDecisionName(r.sprt->decision));
    }
    t["decided_after"] = r.sprtDecidedAfter > 0 ? json(r.sprtDecidedAfter) : json(nullptr);
    out["sprt"] = t;
  }
  return out;
}

}  // namespace Kelp::Referee
